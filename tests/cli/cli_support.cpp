// Runs the built pakunpack as a child process and reads what it prints.
#include "cli_support.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "pak_builder.h"

namespace {

std::string ReadAll(int fd)
{
    std::string text;
    char block[4096];
    ::lseek(fd, 0, SEEK_SET);   // fails harmlessly on a terminal
    for (ssize_t got; (got = ::read(fd, block, sizeof block)) > 0;)
        text.append(block, static_cast<std::size_t>(got));
    return text;
}

// The process's current address space in bytes.
std::size_t AddressSpace()
{
    unsigned long pages = 0;
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%lu", &pages) != 1)
            pages = 0;
        std::fclose(statm);
    }
    return pages * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

} // namespace

RunResult Pakunpack(const std::vector<std::string>& args, const RunSetup& setup)
{
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    int terminal = -1;
    int terminalChild = -1;
    if (!out || !err || (setup.stderrOnTerminal && ::openpty(&terminal, &terminalChild, nullptr, nullptr, nullptr) != 0))
        throw std::runtime_error("can't set up the child's output");
    std::vector<std::string> argStrings{PAKUNPACK_PATH};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : argStrings)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    const std::size_t limit = setup.memoryHeadroom ? AddressSpace() + setup.memoryHeadroom : 0;

    const pid_t child = ::fork();
    if (child == 0) {
        const int input = ::open("/dev/null", O_RDONLY);
        const int output = setup.stdoutPath.empty() ? ::fileno(out) : ::open(setup.stdoutPath.c_str(), O_WRONLY);
        ::dup2(input, 0);
        ::dup2(output, 1);
        ::dup2(setup.stderrOnTerminal ? terminalChild : ::fileno(err), 2);
        if (limit != 0) {
            const rlimit space{limit, limit};
            ::setrlimit(RLIMIT_AS, &space);
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

std::string Json::Bytes() const
{
    if (kind == String)
        return text;
    std::string bytes;
    for (const Json& item : items) {
        if (item.kind != Number || item.number > 255)
            throw std::runtime_error("not a byte");
        bytes += static_cast<char>(item.number);
    }
    return bytes;
}

namespace {

class JsonReader {
public:
    explicit JsonReader(const std::string& text) : m_text(text) {}

    Json Document()
    {
        Json value = Value();
        if (Next() != '\0')
            throw std::runtime_error("text after the document");
        return value;
    }

private:
    // The next character that isn't white space, '\0' at the end.
    char Next()
    {
        while (m_pos < m_text.size() && std::string(" \t\r\n").find(m_text[m_pos]) != std::string::npos)
            ++m_pos;
        return m_pos < m_text.size() ? m_text[m_pos] : '\0';
    }
    void Expect(char c)
    {
        if (Next() != c)
            throw std::runtime_error(std::string("expected ") + c + " at " + std::to_string(m_pos));
        ++m_pos;
    }
    char Take()
    {
        if (m_pos >= m_text.size())
            throw std::runtime_error("unexpected end");
        return m_text[m_pos++];
    }

    Json Value()
    {
        Json value;
        const char c = Next();
        if (c == '{' || c == '[') {
            value.kind = c == '{' ? Json::Object : Json::Array;
            ++m_pos;
            const char close = c == '{' ? '}' : ']';
            for (bool first = true; Next() != close; first = false) {
                if (!first)
                    Expect(',');
                if (c == '[') {
                    value.items.push_back(Value());
                    continue;
                }
                const std::string key = String();
                Expect(':');
                value.members[key] = Value();
            }
            ++m_pos;
        } else if (c == '"') {
            value.kind = Json::String;
            value.text = String();
        } else if (c >= '0' && c <= '9') {
            value.kind = Json::Number;
            while (m_pos < m_text.size() && m_text[m_pos] >= '0' && m_text[m_pos] <= '9')
                value.number = value.number * 10 + static_cast<std::uint64_t>(m_text[m_pos++] - '0');
        } else {
            throw std::runtime_error("no value at " + std::to_string(m_pos));
        }
        return value;
    }

    std::string String()
    {
        Expect('"');
        std::string text;
        for (char c; (c = Take()) != '"';) {
            if (static_cast<unsigned char>(c) < 0x20)
                throw std::runtime_error("control character in a string");
            if (c != '\\') {
                text += c;
                continue;
            }
            const char escape = Take();
            const std::string plain = "\"\\/bfnrt";
            const std::string meant = "\"\\/\b\f\n\r\t";
            if (plain.find(escape) != std::string::npos) {
                text += meant[plain.find(escape)];
            } else if (escape == 'u') {
                const unsigned long code = std::stoul(m_text.substr(m_pos, 4), nullptr, 16);
                m_pos += 4;
                if (code >= 0x80)
                    throw std::runtime_error("only ASCII is expected escaped");
                text += static_cast<char>(code);
            } else {
                throw std::runtime_error("bad escape");
            }
        }
        return text;
    }

    const std::string& m_text;
    std::size_t m_pos = 0;
};

} // namespace

Json ParseJson(const std::string& text)
{
    return JsonReader(text).Document();
}

std::string MixedArchive()
{
    return PakBuilder()
        .Header(/*numFiles=*/6, /*dataStart=*/300, /*size=*/320)
        .TableRecord(/*offset=*/0, /*size=*/5)
        .TableRecord(/*offset=*/5, /*size=*/4)
        .TableRecord(/*offset=*/9, /*size=*/100)
        .TableRecord(/*offset=*/0xFFFFFF00, /*size=*/4)
        .TableRecord(/*offset=*/13, /*size=*/3)
        .TableRecord(/*offset=*/0x1000, /*size=*/1)
        // A directory record applies from the entry after the one it precedes.
        .Dir("maps").File("a.txt").File("b.dat").File("c.dat")
        .Dir("snd").File("wrap.bin").File("d.wav").File("e.ogg")
        .DataAt(300, "hellobdatc123wav")
        .Bytes();
}
