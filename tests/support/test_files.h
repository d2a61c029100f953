// Scratch folders and file helpers shared by the tests.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "pak_archive.h"
#include "program_support.h"

// A fresh folder under the system's temp directory that becomes the current
// directory for the test's lifetime; the previous one is restored and the
// folder removed afterwards (permissions are restored first).
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& Path() const { return m_path; }
    // Absolute path of `name` inside the folder, joined with the system's
    // own separator (as an absolute path made by the system would be).
    std::string operator/(const std::string& name) const { return m_path + kSeparator + name; }

private:
#ifdef _WIN32
    static constexpr char kSeparator = '\\';
#else
    static constexpr char kSeparator = '/';
#endif
    std::string m_path;
    std::string m_previous;
};

// Paths on Windows may be ones the ANSI code page can't hold.
void WriteBytes(const SystemPath& path, const std::string& bytes);
std::string ReadBytes(const SystemPath& path);
bool Exists(const SystemPath& path);   // without following a final symbolic link
bool IsLink(const std::string& path);   // a symbolic link (on Windows: a reparse point)
// True when this process can make symbolic links (on Windows that takes a
// privilege or developer mode; Wine 8 can't make them at all).
bool CanMakeSymbolicLinks();
// Every path below `folder`, relative to it, sorted (folders end with '/').
std::vector<std::string> ListTree(const std::string& folder);

// Records every call the archive code makes on its progress bar.
class RecordingProgress : public ProgressBar {
public:
    void SetRange32(int low, int high) override;
    void SetPos(int pos) override;
    std::vector<std::string> calls;
};

// Runs what the open command runs up to the report on the file `path`:
// OpenArchive, AllocateTable, LoadTable. Returns OpenArchive's result.
int OpenAndLoad(PakArchive& archive, const std::string& path);
// The same after writing `bytes` as `path`.
int OpenAndLoad(PakArchive& archive, const std::string& path, const std::string& bytes);

// ExtractEntry's result for every entry of the table, in table order.
std::vector<int> ExtractAll(PakArchive& archive);

// True when the system makes files without a name (O_TMPFILE) in the
// current folder, so that outputs there are written unnamed.
bool UnnamedFilesWorkHere();

// `size` bytes that tell their position ('a' + position % 23), so that a
// byte copied from anywhere else shows.
std::string NumberedBytes(std::size_t size);

// These need fork and are POSIX only (see test_platform.h).
// Runs `body` in a child process whose files may not grow beyond `maxBytes`
// (writes past it fail with EFBIG) and returns what `body` returned, or -100
// when the child did not exit normally.
int RunWithFileSizeLimit(unsigned long maxBytes, int (*body)(void*), void* context);

// Runs `body` in a child process set up as the programs set themselves up
// (InstallOutputSignalHandlers), whose files may not grow beyond `maxBytes`:
// `signal` arrives in the middle of the first write that passes the limit.
// Returns the status a shell shows, 128 + the number of the signal that
// ended the child, or what `body` returned when none did; -100 when the
// child ended otherwise.
int RunInterruptedMidWrite(unsigned long maxBytes, int signal, int (*body)(void*), void* context);

// Runs `body` in a child process that has given up every capability, so that
// file permissions bind even when the tests run as root (root's capabilities
// otherwise override them). Returns what `body` returned, or -100 when the
// child did not exit normally.
int RunWithoutPrivileges(int (*body)(void*), void* context);
