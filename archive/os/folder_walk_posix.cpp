// The archive writer's folder walk and input files on POSIX systems: a
// folder's entries looked at with fstatat, never through a symbolic link.
#include "folder_walk.h"
#include "system_calls.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <utility>

namespace {

ItemKind KindOf(const struct stat& st)
{
    return S_ISREG(st.st_mode) ? ItemKind::File
           : S_ISDIR(st.st_mode) ? ItemKind::Folder
           : S_ISLNK(st.st_mode) ? ItemKind::Link
                                 : ItemKind::Other;
}

FileError SystemError(int code)
{
    return FileError{FileProblem::System, code};
}

struct DirCloser {
    void operator()(DIR* dir) const noexcept { ::closedir(dir); }
};

} // namespace

bool ListFolder(const SystemPath& folder, bool followLink, std::vector<FolderItem>& items, FileError& error)
{
    items.clear();
    const std::string& path = folder.Text();
    if (path.empty() || HasNul(path)) {
        error = SystemError(path.empty() ? ENOENT : EINVAL);
        return false;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW));
    if (fd < 0) {
        const int code = errno;
        struct stat st {};
        // A link where none is followed says so, whatever it points at.
        if (code == ELOOP || (code == ENOTDIR && !followLink)) {
            if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
                error = FileError{FileProblem::Link, 0};
                return false;
            }
        }
        error = SystemError(code);
        return false;
    }
    const std::unique_ptr<DIR, DirCloser> dir(::fdopendir(fd));
    if (!dir) {
        error = SystemError(errno);
        ::close(fd);
        return false;
    }
    const std::string prefix = path.back() == '/' ? path : path + '/';
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir.get());
        if (!entry) {
            if (errno == 0)
                return true;
            error = SystemError(errno);
            return false;
        }
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        struct stat st {};
        if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT)
                continue;   // removed since it was read
            error = SystemError(errno);
            return false;
        }
        FolderItem item;
        item.name = std::string(name);
        item.path = prefix + name;
        item.kind = KindOf(st);
        if (item.kind == ItemKind::File) {
            item.size = static_cast<std::uint64_t>(st.st_size);
            item.identity = IdentityOf(st);
        }
        items.push_back(std::move(item));
    }
}

bool IdentityOfFile(const SystemPath& path, FileIdentity& identity)
{
    struct stat st {};
    if (HasNul(path.Text()) || ::stat(path.Text().c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    identity = IdentityOf(st);
    return true;
}

InputFile OpenInput(const SystemPath& path, FileIdentity& identity, std::uint64_t& length, FileError& error)
{
    InputFile file;
    if (HasNul(path.Text())) {
        error = SystemError(EINVAL);
        return file;
    }
    // Non-blocking so that a FIFO put in a file's place can't stall the open.
    const int fd = ::open(path.Text().c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        error = SystemError(errno);
        return file;
    }
    file.m_native.fd = fd;
    struct stat st {};
    const int flags = ::fcntl(fd, F_GETFL);
    if (::fstat(fd, &st) != 0 || flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        error = SystemError(errno);
        file.Close();
        return file;
    }
    if (!S_ISREG(st.st_mode)) {
        error = FileError{S_ISDIR(st.st_mode) ? FileProblem::Folder : FileProblem::NotRegular, 0};
        file.Close();
        return file;
    }
    identity = IdentityOf(st);
    length = static_cast<std::uint64_t>(st.st_size);
    return file;
}
