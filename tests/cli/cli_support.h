// Runs the built pakunpack as a child process and reads what it prints.
#pragma once

#ifdef _WIN32
#include <windows.h>

#include <initializer_list>

#include "program_support.h"
#else
#include <fcntl.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "address_space.h"
#endif

#include <gtest/gtest.h>

#ifdef PAK_TESTS_READ_JSON
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

struct RunResult {
    int status = -1;   // -1 when the child didn't exit normally
    std::string out, err;
};

// What only the POSIX runner can arrange; on Windows the tests that need it
// are skipped.
struct RunSetup {
    bool stderrOnTerminal = false;     // a pseudo-terminal instead of a file
    std::size_t memoryHeadroom = 0;    // when not 0, address space the child may add
    const char* stdoutPath = nullptr;  // a file to write stdout to instead
    unsigned long fileSizeLimit = 0;   // when not 0, the child's files may not grow beyond it
};

#ifdef _WIN32

// `text` on a UTF-16 command line as the C runtime splits it again: quoted
// when it holds blanks or quotes, backslashes doubled only before a quote.
inline std::wstring QuotedArgument(const SystemPath& text)
{
    std::wstring arg;
    if (!PathToWide(text, arg))
        throw std::invalid_argument("an argument that can't be converted");
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return arg;
    std::wstring quoted = L"\"";
    for (std::size_t i = 0;; ++i) {
        std::size_t backslashes = 0;
        for (; i < arg.size() && arg[i] == L'\\'; ++i)
            ++backslashes;
        if (i == arg.size()) {
            quoted.append(backslashes * 2, L'\\');
            break;
        }
        quoted.append(arg[i] == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        quoted += arg[i];
    }
    return quoted + L"\"";
}

// pakunpack.exe, found from this test program's own folder.
inline std::string PakunpackPath()
{
    std::string self(32768, '\0');
    self.resize(::GetModuleFileNameA(nullptr, self.data(), static_cast<DWORD>(self.size())));
    std::string path = self.substr(0, self.find_last_of("\\/") + 1) + PAKUNPACK_FROM_TESTS;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

// A temporary file the child inherits as a standard stream; gone once closed.
inline HANDLE InheritableTempFile()
{
    char folder[MAX_PATH + 1] = {};
    char name[MAX_PATH + 1] = {};
    if (::GetTempPathA(sizeof folder, folder) == 0 || ::GetTempFileNameA(folder, "pak", 0, name) == 0)
        throw std::runtime_error("no temporary file for the child's output");
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return ::CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
}

inline std::string ReadAll(HANDLE file)
{
    std::string text;
    char block[4096];
    ::SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    for (DWORD got = 0; ::ReadFile(file, block, sizeof block, &got, nullptr) && got > 0;)
        text.append(block, got);
    return text;
}

// Runs pakunpack with `args` in the current directory, stdin NUL.
inline RunResult PakunpackWith(const std::vector<SystemPath>& args, const RunSetup& setup)
{
    if (setup.stderrOnTerminal || setup.memoryHeadroom != 0 || setup.stdoutPath || setup.fileSizeLimit != 0)
        throw std::logic_error("only the POSIX runner arranges terminals, limits and other outputs");
    const std::string program = PakunpackPath();
    std::wstring line = QuotedArgument(program);
    for (const SystemPath& arg : args)
        line += L" " + QuotedArgument(arg);
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const HANDLE in = ::CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING,
                                    0, nullptr);
    const HANDLE out = InheritableTempFile();
    const HANDLE err = InheritableTempFile();
    if (in == INVALID_HANDLE_VALUE || out == INVALID_HANDLE_VALUE || err == INVALID_HANDLE_VALUE)
        throw std::runtime_error("can't set up the child's standard streams");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION child{};
    RunResult result;
    std::wstring application;
    PathToWide(program, application);
    // A start that fails is tried once more (one failed under Wine, with no
    // output and no reason kept); when both fail, the system's reason goes
    // to err.
    bool started = false;
    for (int attempt = 0; attempt < 2 && !started; ++attempt) {
        std::wstring writable = line;   // CreateProcessW may change the line it is given
        started = ::CreateProcessW(application.c_str(), writable.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                   &startup, &child) != 0;
    }
    const DWORD startError = started ? 0 : ::GetLastError();
    if (started) {
        DWORD status = 0;
        if (::WaitForSingleObject(child.hProcess, INFINITE) == WAIT_OBJECT_0 &&
            ::GetExitCodeProcess(child.hProcess, &status))
            result.status = static_cast<int>(status);
        ::CloseHandle(child.hThread);
        ::CloseHandle(child.hProcess);
    }
    result.out = ReadAll(out);
    result.err = started ? ReadAll(err) : "pakunpack.exe could not be started: error " + std::to_string(startError);
    ::CloseHandle(in);
    ::CloseHandle(out);
    ::CloseHandle(err);
    return result;
}

inline RunResult Pakunpack(const std::vector<std::string>& args, const RunSetup& setup = {})
{
    return PakunpackWith(std::vector<SystemPath>(args.begin(), args.end()), setup);
}

// The same with paths the ANSI code page may not hold.
inline RunResult Pakunpack(std::initializer_list<SystemPath> args, const RunSetup& setup = {})
{
    return PakunpackWith(args, setup);
}

#else

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
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(::open("/dev/null", O_RDONLY), 0);
        ::dup2(setup.stdoutPath ? ::open(setup.stdoutPath, O_WRONLY) : ::fileno(out), 1);
        ::dup2(setup.stderrOnTerminal ? terminalChild : ::fileno(err), 2);
        if (setup.memoryHeadroom != 0) {
            LimitAddressSpace(setup.memoryHeadroom);
            // Under AddressSanitizer a failed allocation must throw, not abort.
            const char* asan = std::getenv("ASAN_OPTIONS");
            ::setenv("ASAN_OPTIONS", (std::string(asan ? asan : "") + ":allocator_may_return_null=1").c_str(), 1);
        }
        if (setup.fileSizeLimit != 0) {
            // SIGXFSZ keeps its default action: the program has to ignore it.
            const rlimit size{setup.fileSizeLimit, setup.fileSizeLimit};
            ::setrlimit(RLIMIT_FSIZE, &size);
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

#endif

#ifdef PAK_TESTS_READ_JSON

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

#endif
