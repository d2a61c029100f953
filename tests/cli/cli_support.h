// Runs the built pakunpack as a child process and reads what it prints.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct RunResult {
    int status = -1;   // the exit status; -1 when the child didn't exit normally
    std::string out;
    std::string err;
};

struct RunSetup {
    bool stderrOnTerminal = false;   // a pseudo-terminal instead of a pipe
    std::size_t memoryHeadroom = 0;  // when not 0, address space the child may add
    std::string stdoutPath;          // a file to write stdout to instead
};

// Runs pakunpack with `args` in the current directory, stdin /dev/null.
RunResult Pakunpack(const std::vector<std::string>& args, const RunSetup& setup = {});

// A JSON value of the kinds pakunpack prints: numbers are unsigned integers.
struct Json {
    enum Kind { Number, String, Array, Object } kind = Number;
    std::uint64_t number = 0;
    std::string text;   // a string's bytes
    std::vector<Json> items;
    std::map<std::string, Json> members;

    const Json& operator[](const std::string& key) const { return members.at(key); }
    // The bytes a name stands for: a string's text, or an array of bytes.
    std::string Bytes() const;
};

// Throws std::runtime_error unless `text` is exactly one JSON document.
Json ParseJson(const std::string& text);

// Six entries over data start 300 and declared size 320, in "mixed.pak":
//   0 a.txt "hello", 1 maps/b.dat "bdat", 2 maps/c.dat runs past the size,
//   3 maps/wrap.bin starts at a wrapped 0x2C, 4 snd/d.wav "wav",
//   5 snd/e.ogg starts beyond the size.
std::string MixedArchive();
