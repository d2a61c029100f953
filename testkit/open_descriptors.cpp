// Counting the process's open files, for the tests and the fuzz harness.
#include "open_descriptors.h"

#ifdef _WIN32
#include <windows.h>

#include <io.h>
#else
#include <dirent.h>
#endif

int OpenDescriptors()
{
#ifdef _WIN32
    int count = 0;
    for (int fd = 0; fd < 2048; ++fd) {
        if (::_get_osfhandle(fd) != -1)
            ++count;
    }
    DWORD handles = 0;
    ::GetProcessHandleCount(::GetCurrentProcess(), &handles);
    return count + static_cast<int>(handles);
#else
    int count = 0;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (::readdir(dir))
            ++count;
        ::closedir(dir);
    }
    return count;
#endif
}
