// The file layer: the only code that calls the operating system's file API,
// private to the archive library. Archives are read by position through
// InputFile; outputs are written through OutputFile, which never rewrites a
// file in place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "system_path.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#endif

// Memory for copying an entry. Large blocks are asked for in huge pages where
// the system has them, which copy markedly faster. Throws std::bad_alloc when
// it can't be had.
struct BufferFree {
    void operator()(unsigned char* block) const noexcept;
};
using BufferPtr = std::unique_ptr<unsigned char[], BufferFree>;
BufferPtr AllocateBuffer(std::size_t size);

// Which file an open stream is, so that outputs can refuse to replace it:
// device and inode on POSIX, volume serial number and file index on Windows.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool known = false;
};

// Whether both identities are known and name the same file.
bool SameFile(const FileIdentity& a, const FileIdentity& b);

// The identity of the file the system describes.
#ifdef _WIN32
FileIdentity IdentityOf(const BY_HANDLE_FILE_INFORMATION& info);
#else
FileIdentity IdentityOf(const struct stat& st);
#endif

struct FileError;

// An archive open for reading by position: any number of threads may read
// it at once, each at positions of its own, since no read moves a shared
// cursor (pread on POSIX, ReadFile with an offset on Windows).
class InputFile {
public:
    InputFile() = default;
    InputFile(InputFile&& other) noexcept;
    InputFile& operator=(InputFile&& other) noexcept;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile();

    // Opens a regular file for reading. Anything else (a folder, a FIFO, a
    // device) is refused at once, without waiting for a writer: not open.
    // On success fills `identity` and `length` (the file's size at this
    // moment).
    static InputFile Open(const SystemPath& path, FileIdentity& identity, std::uint64_t& length);

    bool IsOpen() const;

    // Reads up to `count` bytes from absolute position `pos`; `got` says how
    // many arrived, fewer only at the end of the file. False when a read
    // failed, with the reason in `code` (an errno value; EIO when the system
    // gave none).
    bool ReadAt(std::uint64_t pos, void* buffer, std::size_t count, std::size_t& got, int& code) const;

private:
    friend class OutputFile;
    // The folder walk's open, which tells why a file can't be opened.
    friend InputFile OpenInput(const SystemPath& path, FileIdentity& identity, std::uint64_t& length,
                               FileError& error);

    void Close() noexcept;

#ifdef _WIN32
    struct Native {
        HANDLE handle = INVALID_HANDLE_VALUE;
    };
#else
    struct Native {
        int fd = -1;
    };
#endif
    Native m_native;
};

// How a decoded directory or file name is written on disk: always one path
// component. On POSIX '/' becomes '_'; on Windows every character that a
// Windows name can't hold, a trailing dot or space and a device name are
// made harmless as well (see WindowsDiskName, in the system's ANSI code
// page). The caller has already refused empty names, "." and "..".
std::string DiskName(const std::string& text);

// `diskName`, a name as DiskName writes it, in a form that two names share
// exactly when the system takes them for one: on POSIX the name itself, on
// Windows its UTF-16 with letter case folded as the file systems compare
// names, given as UTF-8.
std::string SameNameKey(const std::string& diskName);

// `path` as the folder it names and the file name in that folder, for
// OutputFolder::Existing and OutputFolder::Begin: the folder part up to and
// with its last separator ('/', on Windows '\\' as well, or the ':' of a
// drive such as "C:x"), empty when the path is a name alone (the current
// directory). On Windows the name loses the dots and spaces at its end, as
// every path given to the system does; when nothing else is left, the path
// names its folder.
void SplitPath(const SystemPath& path, SystemPath& folder, SystemPath& name);

// A key that two names in one folder, as DiskName writes them, share
// whenever a file system may take them for the same file: ASCII letters of
// either case alike, a last '.' or ' ' dropped, and every run of characters
// beyond ASCII (on Windows those of the ANSI code page's UTF-16 form) as one
// mark, with the letters I, S and K (which the case rules of some systems
// give as the uppercase of ı and ſ, or as the Kelvin sign's lowercase), and
// with an ASCII letter before a combining accent (the two may be one
// character elsewhere). Names it gives different keys differ in ASCII
// characters other than those. A short name (8.3) that Windows or a FAT file
// system makes, such as "LONGFI~1", holds a '~'.
std::string SameFileKey(const std::string& diskName);

// The code page the name rules take when none is given: Windows' Western
// ANSI code page. kUtf8CodePage is UTF-8.
constexpr unsigned kWesternCodePage = 1252;
constexpr unsigned kUtf8CodePage = 65001;

// The Windows rules, on every platform so that they are tested everywhere,
// for a name in the ANSI code page `codePage`: < > : " / \ | ? * and bytes
// 0x01-0x1F become '_', a last '.' or ' ' becomes '_', and a device name
// (IsWindowsDeviceName) gets '_' in front. A double-byte character
// (AnsiCharacterAt) stays whole, whatever its second byte looks like; a
// lead byte that makes no character with the byte after it becomes '_', and
// that byte is judged on its own.
std::string WindowsDiskName(const std::string& text, unsigned codePage = kWesternCodePage);

// What the bytes at `bytes` (`size` of them, at least one) start with in the
// ANSI code page `codePage`, by the system's own tables: a character of one
// byte, one of two (a lead byte and a byte that makes a character with it),
// or a lead byte that the byte after it, or the end, leaves without one.
// POSIX has no such tables: there every byte is a character of its own.
enum class AnsiCharacter { OneByte, TwoBytes, BrokenLeadByte };
AnsiCharacter AnsiCharacterAt(unsigned codePage, const char* bytes, std::size_t size);

// Whether the name's part before its first '.', trailing spaces dropped, is
// a device name: CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0-9, LPT0-9 or COM
// and LPT with a superscript 1, 2 or 3, in any letter case.
bool IsWindowsDeviceName(const std::string& name, unsigned codePage = kWesternCodePage);

// Why the file layer refused or failed an output or its folder.
enum class FileProblem {
    None,
    Link,         // a symbolic link (on Windows: any reparse point) is in the way
    Folder,       // a folder is where the file should be
    NotFolder,    // a file is where the folder should be
    NotRegular,   // a FIFO, device, socket or other non-regular file is in the way
    Protected,    // the name is the protected file itself (the open archive)
    System,       // a system call failed; `code` says why
};

struct FileError {
    FileProblem problem = FileProblem::None;
    int code = 0;   // with System: errno on POSIX, GetLastError() on Windows
};

class OutputFolder;

// An output being written. Until Commit succeeds nothing of it shows under
// its name: a file that had the name keeps its bytes, and an output that is
// dropped (destroyed without a successful Commit) leaves nothing behind, no
// incomplete file and no temporary file. What Begin made is never removed
// by a name that might by then be another process's file: an unnamed file
// (Linux) just goes, a Windows file goes through its own handle. Only an
// unnamed file's temporary name whose rename failed, and outputs written the
// named way (POSIX without unnamed files), are removed by name, right after
// checking that the name is still this output's file.
class OutputFile {
public:
    OutputFile() = default;
    OutputFile(OutputFile&& other) noexcept;
    OutputFile& operator=(OutputFile&& other) noexcept;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();

    bool IsOpen() const;

    // Writes all `count` bytes at the current end. False when any failed.
    bool Write(const void* data, std::size_t count);

    // Makes the file `size` bytes long; the bytes added read as zeros (a
    // hole where the file system allows). False when it can't.
    bool ExtendTo(std::uint64_t size);

    // Appends up to `count` bytes of the archive `file`, from its absolute
    // position `pos`, with the system's own copy call (copy_file_range on
    // Linux): from file to file inside the system, never through this
    // process's memory. Returns how many bytes it copied. It stops early, and
    // says nothing, at the end of the archive, when the call fails, and at
    // once where there is no such call (Windows, other systems); the caller
    // goes on with ReadAt and Write, which tell a failure and its side.
    // `usable` (true to begin with) becomes false when the call can't serve
    // these files at all (another file system, a file system or kernel
    // without it), so that it isn't tried again for each entry.
    std::uint64_t CopyFrom(const InputFile& file, std::uint64_t pos, std::uint64_t count, bool& usable);

    // Puts the file under its name, replacing the file that had it, and
    // closes it. False when a write, the naming or the rename failed, or
    // (POSIX) the flush that the file's last close would make (skipped on
    // the local file systems whose close reports nothing), or one did
    // earlier: then nothing of this output is left and the name is as it
    // was. An unnamed output whose name another process has given to a file
    // since Begin judges that file as Begin would: a regular file other than
    // the protected one is replaced, anything else fails the output. Commit
    // is the end of the output either way.
    bool Commit();

    // Why the output couldn't be started, written or committed.
    const FileError& Error() const { return m_error; }

private:
    friend class OutputFolder;

    void Fail(int code);
    void Discard() noexcept;

    // What the system knows the output by.
#ifdef _WIN32
    struct Native {
        HANDLE handle = INVALID_HANDLE_VALUE;   // marked for deletion until Commit
        std::wstring path;       // the full path the output ends up under
        std::wstring tempPath;   // where it is written meanwhile; empty: at `path` itself
        int slot = -1;           // where the console control handler finds it
    };
#else
    struct Native {
        int fd = -1;
        int folder = AT_FDCWD;   // the folder's descriptor, borrowed from its OutputFolder
        std::string name;        // the name the output ends up under
        // Unnamed: the file has no name until Commit links it in. Named: it
        // is written under `tempName`, or under `name` itself when that is empty.
        bool unnamed = false;
        bool replacing = false;  // unnamed: a regular file had the name at Begin
        FileIdentity protect;    // unnamed: the file the name may never be taken from
        std::string tempName;
        int slot = -1;           // named: where the signal handler finds it
        bool flush = true;       // Commit flushes to learn of a write error the last close would report
    };
#endif
    Native m_native;
    FileError m_error;
};

// Whether outputs may start as files without a name where the system has
// them (the default). Tests turn it off to take the way that systems without
// them take. Not for use while an output is being written.
void UseUnnamedOutputs(bool use);

// A folder that outputs are created in: the current directory, or one level
// below it. Outputs never pass through a symbolic link (on Windows: a
// reparse point) and never replace the file named by `protect`.
class OutputFolder {
public:
    // The process's current directory as it is at each later call.
    static OutputFolder Current();
    // `name` in the current directory, created when missing. Invalid (with
    // Error() saying why) when it can't be created or opened, is not a
    // folder, or is a symbolic link.
    static OutputFolder Subfolder(const std::string& name);
    // A folder that exists already, found the usual way (links followed).
    static OutputFolder Existing(const SystemPath& path);
    // Invalid.
    OutputFolder() = default;

    OutputFolder(OutputFolder&& other) noexcept;
    OutputFolder& operator=(OutputFolder&& other) noexcept;
    OutputFolder(const OutputFolder&) = delete;
    OutputFolder& operator=(const OutputFolder&) = delete;
    ~OutputFolder();

    bool Valid() const;
    const FileError& Error() const { return m_error; }

    // True when `name` in the current directory still names this very folder
    // (not replaced, removed, or a link), so it can be used again as it is.
    bool StillNamedBy(const std::string& name) const;

    // Starts output `name` in this folder. An existing regular file other
    // than `protect` is left alone while the output is written, and Commit
    // renames the new file over it (so other names of a hard-linked file
    // keep their bytes; the new file has a new file's mode). The output is
    // written to a file without a name where the system has them (on Linux
    // O_TMPFILE); otherwise a new name is created exclusively and written in
    // place, and a replacement is written to a new file beside the old one.
    // Not open, with Error() set, when the name is a symbolic link, a
    // folder, another non-regular file or `protect` (on Windows also a
    // device name, NotRegular, which is never created as a file), when the
    // name is empty in a folder other than Current() (the path names the
    // folder itself: Folder), or when the system refuses.
    //
    // `look` says when what has the name is looked at. First: before
    // anything is made, so that a refusal costs nothing (no copy, no
    // progress). AtCommit: where the output starts without a name (Linux),
    // only when Commit links it in, which saves a look for each new name;
    // the refusals are the same, Commit's instead of Begin's. Where outputs
    // start with a name, AtCommit is First.
    enum class Look { First, AtCommit };
    OutputFile Begin(const SystemPath& name, const FileIdentity& protect, Look look = Look::First) const;

private:
    // Closes what the folder holds open.
    void Close() noexcept;

    // What the system knows the folder by.
#ifdef _WIN32
    struct Native {
        HANDLE handle = INVALID_HANDLE_VALUE;   // held for the folder's identity only
        std::wstring path;                      // its full path; empty for Current()
    };
#else
    struct Native {
        int fd = -1;   // AT_FDCWD for Current()
    };
#endif
    Native m_native;
    bool m_current = false;
    bool m_closeReportsNothing = false;   // POSIX: its outputs need no flush at Commit
    FileIdentity m_identity;
    FileError m_error;
};
