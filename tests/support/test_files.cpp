// Scratch folders and file helpers shared by the tests.
#include "test_files.h"

#include "test_platform.h"

#ifndef _WIN32
#include <linux/capability.h>
#include <sys/syscall.h>
#endif

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

// `path` as the streams take it.
fs::path StreamPath(const SystemPath& path)
{
#ifdef _WIN32
    std::wstring wide;
    if (!PathToWide(path, wide))
        throw std::runtime_error("a path that can't be converted: " + path.Text());
    return fs::path(wide);
#else
    return fs::path(path.Text());
#endif
}

// A new folder of its own under the temp directory.
std::string MakeScratchFolder()
{
#ifdef _WIN32
    std::random_device seed;
    std::mt19937_64 random(seed() ^ ::GetCurrentProcessId());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path folder = fs::temp_directory_path() / ("pak_test_" + std::to_string(random() % 1000000000));
        std::error_code ec;
        if (fs::create_directory(folder, ec))
            return folder.string();
    }
    throw std::runtime_error("no scratch folder could be made");
#else
    std::string pattern = (fs::temp_directory_path() / "pak_test_XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    return pattern;
#endif
}

} // namespace

ScratchDir::ScratchDir()
{
    m_path = fs::canonical(MakeScratchFolder()).string();
    m_previous = fs::current_path().string();
    fs::current_path(m_path);
}

ScratchDir::~ScratchDir()
{
    std::error_code ec;
    fs::current_path(m_previous, ec);
    // Tests take permissions away; give them back so everything can go.
    for (auto it = fs::recursive_directory_iterator(m_path, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ec);
#ifdef _WIN32
    // In the extended form, which takes names as they are: a name that ends
    // in a dot or a space can't be removed by the plain one, on which
    // remove_all would try again for ever.
    fs::remove_all(fs::path(L"\\\\?\\" + fs::path(m_path).wstring()), ec);
#else
    fs::remove_all(m_path, ec);
#endif
}

void WriteBytes(const SystemPath& path, const std::string& bytes)
{
    std::ofstream out(StreamPath(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("can't write " + path.Text());
}

std::string ReadBytes(const SystemPath& path)
{
    std::ifstream in(StreamPath(path), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool Exists(const SystemPath& path)
{
#ifdef _WIN32
    return ::GetFileAttributesW(StreamPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
#else
    struct stat st {};
    return ::lstat(path.Text().c_str(), &st) == 0;
#endif
}

bool IsLink(const std::string& path)
{
#ifdef _WIN32
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
#else
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
#endif
}

bool CanMakeSymbolicLinks()
{
    static const bool can = [] {
        ScratchDir probe;
        return ::symlink("target", "link") == 0 && IsLink("link");
    }();
    return can;
}

std::vector<std::string> ListTree(const std::string& folder)
{
    std::vector<std::string> paths;
    for (const auto& item : fs::recursive_directory_iterator(folder)) {
        std::string rel = fs::relative(item.path(), folder).generic_string();
        if (item.is_directory() && !item.is_symlink())
            rel += '/';
        paths.push_back(rel);
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

void RecordingProgress::SetRange32(int low, int high)
{
    calls.push_back("range " + std::to_string(low) + ".." + std::to_string(high));
}

void RecordingProgress::SetPos(int pos)
{
    calls.push_back("pos " + std::to_string(pos));
}

int OpenAndLoad(PakArchive& archive, const std::string& path, const std::string& bytes)
{
    WriteBytes(path, bytes);
    return OpenAndLoad(archive, path);
}

std::vector<int> ExtractAll(PakArchive& archive)
{
    std::vector<int> results;
    for (std::uint32_t i = 0; i < archive.m_numFiles; ++i)
        results.push_back(archive.ExtractEntry(i));
    return results;
}

std::string NumberedBytes(std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>('a' + i % 23);
    return bytes;
}

int OpenAndLoad(PakArchive& archive, const std::string& path)
{
    archive.m_path = path;
    const int opened = archive.OpenArchive();
    if (opened == 1) {
        RecordingProgress progress;
        archive.AllocateTable();
        archive.LoadTable(progress);
    }
    return opened;
}

#ifdef _WIN32

bool UnnamedFilesWorkHere()
{
    return false;
}

int RunWithFileSizeLimit(unsigned long, int (*)(void*), void*)
{
    return -100;   // no fork: the callers are skipped on Windows
}

int RunInterruptedMidWrite(unsigned long, int, int (*)(void*), void*)
{
    return -100;
}

int RunWithoutPrivileges(int (*)(void*), void*)
{
    return -100;
}

#else

bool UnnamedFilesWorkHere()
{
#ifdef O_TMPFILE
    const int fd = ::open(".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd >= 0)
        ::close(fd);
    return fd >= 0;
#else
    return false;
#endif
}

int RunWithFileSizeLimit(unsigned long maxBytes, int (*body)(void*), void* context)
{
    const pid_t child = ::fork();
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const struct rlimit limit { maxBytes, maxBytes };
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::_exit(body(context) & 0xFF);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -100;
    return static_cast<signed char>(WEXITSTATUS(status));
}

int RunInterruptedMidWrite(unsigned long maxBytes, int signal, int (*body)(void*), void* context)
{
    const pid_t child = ::fork();
    if (child == 0) {
        InstallOutputSignalHandlers();
        // The kernel's SIGXFSZ, in the middle of the write, becomes `signal`.
        static int s_signal = 0;
        s_signal = signal;
        struct sigaction midWrite {};
        midWrite.sa_handler = [](int) { ::kill(::getpid(), s_signal); };
        ::sigaction(SIGXFSZ, &midWrite, nullptr);
        const struct rlimit limit { maxBytes, maxBytes };
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const struct rlimit noCore { 0, 0 };   // a signal that dumps core dumps none into the folder
        ::setrlimit(RLIMIT_CORE, &noCore);
        ::_exit(body(context) & 0xFF);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child)
        return -100;
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WIFEXITED(status) ? WEXITSTATUS(status) : -100;
}

int RunWithoutPrivileges(int (*body)(void*), void* context)
{
    const pid_t child = ::fork();
    if (child == 0) {
        // Dropping capabilities is always allowed; nothing regains them
        // without an exec.
        __user_cap_header_struct header{};
        header.version = _LINUX_CAPABILITY_VERSION_3;
        __user_cap_data_struct none[_LINUX_CAPABILITY_U32S_3] = {};
        ::syscall(SYS_capset, &header, none);
        ::_exit(body(context) & 0xFF);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -100;
    return static_cast<signed char>(WEXITSTATUS(status));
}

#endif
