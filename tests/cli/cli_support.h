// Runs the built pakunpack as a child process and reads what it prints.
#pragma once

#include <fcntl.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

struct RunResult {
    int status = -1;   // -1 when the child didn't exit normally
    std::string out, err;
};

struct RunSetup {
    bool stderrOnTerminal = false;     // a pseudo-terminal instead of a file
    std::size_t memoryHeadroom = 0;    // when not 0, address space the child may add
    const char* stdoutPath = nullptr;  // a file to write stdout to instead
};

inline std::string ReadAll(int fd)
{
    std::string text;
    char block[4096];
    ::lseek(fd, 0, SEEK_SET);   // fails harmlessly on a terminal
    for (ssize_t got; (got = ::read(fd, block, sizeof block)) > 0;)
        text.append(block, static_cast<std::size_t>(got));
    return text;
}

// Runs pakunpack with `args` in the current directory, stdin /dev/null.
inline RunResult Pakunpack(std::vector<std::string> args, const RunSetup& setup = {})
{
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    int terminal = -1, terminalChild = -1;
    if (!out || !err ||
        (setup.stderrOnTerminal && ::openpty(&terminal, &terminalChild, nullptr, nullptr, nullptr) != 0))
        throw std::runtime_error("can't set up the child's output");
    args.insert(args.begin(), PAKUNPACK_PATH);
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    rlim_t space = 0;
    std::ifstream("/proc/self/statm") >> space;   // pages of this process's address space
    space = space * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + setup.memoryHeadroom;
    const rlimit limit{space, space};
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(::open("/dev/null", O_RDONLY), 0);
        ::dup2(setup.stdoutPath ? ::open(setup.stdoutPath, O_WRONLY) : ::fileno(out), 1);
        ::dup2(setup.stderrOnTerminal ? terminalChild : ::fileno(err), 2);
        if (setup.memoryHeadroom != 0) {
            ::setrlimit(RLIMIT_AS, &limit);
            // Under AddressSanitizer a failed allocation must throw, not abort.
            const char* asan = std::getenv("ASAN_OPTIONS");
            ::setenv("ASAN_OPTIONS", (std::string(asan ? asan : "") + ":allocator_may_return_null=1").c_str(), 1);
        }
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    if (terminalChild >= 0)
        ::close(terminalChild);
    RunResult result;
    int status = 0;
    if (child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status))
        result.status = WEXITSTATUS(status);
    result.out = ReadAll(::fileno(out));
    result.err = ReadAll(setup.stderrOnTerminal ? terminal : ::fileno(err));
    std::fclose(out);
    std::fclose(err);
    if (terminal >= 0)
        ::close(terminal);
    return result;
}

// The JSON document `text`, which must be one object of valid UTF-8 with no
// raw control characters besides line feeds between values.
inline QJsonObject ParseJson(const std::string& text)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    EXPECT_TRUE(doc.isObject());
    const auto raw = [](char c) { return static_cast<unsigned char>(c) < 0x20 && c != '\n'; };
    EXPECT_EQ(std::count_if(text.begin(), text.end(), raw), 0) << "a raw control character";
    return doc.object();
}

// The bytes a name stands for: a string's UTF-8, or an array of byte values.
inline std::string Bytes(const QJsonValue& value)
{
    std::string bytes = value.toString().toStdString();
    for (const QJsonValue& byte : value.toArray()) {
        EXPECT_TRUE(byte.isDouble() && byte.toInt(-1) >= 0 && byte.toInt(-1) <= 255);
        bytes += static_cast<char>(byte.toInt());
    }
    return bytes;
}
