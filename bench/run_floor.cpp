// The least that extraction through unnamed outputs can cost on this system,
// with as many threads as pakunpack's default: the table is loaded as
// pakunpack loads it, then each entry is written as zeros (nothing is read
// from the archive) to a file without a name (O_TMPFILE) that is linked in
// once complete, each folder's entries by one thread. None of the checks:
// nothing is looked at before it is made, no folder is checked again, no
// name is judged or compared.
//   pak_bench_floor ARCHIVE
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "load_archive.h"
#include "platform.h"

namespace {

#ifdef O_TMPFILE
bool WriteZeros(int fd, std::uint32_t size)
{
    static const char zeros[64 * 1024] = {};
    while (size > 0) {
        const ssize_t done = ::write(fd, zeros, std::min<std::size_t>(size, sizeof zeros));
        if (done <= 0)
            return false;
        size -= static_cast<std::uint32_t>(done);
    }
    return true;
}

// Writes the entries of `folders` (lists of table indices, one per folder).
bool WriteFolders(const PakArchive& archive, const std::vector<const std::vector<std::uint32_t>*>& folders)
{
    for (const std::vector<std::uint32_t>* entries : folders) {
        const std::string dir(archive.m_table[entries->front()].dir.view());
        if (!dir.empty())
            ::mkdir(dir.c_str(), 0777);
        const int folder = dir.empty() ? AT_FDCWD : ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (!dir.empty() && folder < 0)
            return false;
        for (const std::uint32_t index : *entries) {
            const PakEntry& entry = archive.m_table[index];
            const int fd = ::openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
            const bool done = fd >= 0 && WriteZeros(fd, entry.size) &&
                              ::linkat(fd, "", folder, entry.name.c_str(), AT_EMPTY_PATH) == 0;
            if (fd >= 0)
                ::close(fd);
            if (!done)
                return false;
        }
        if (folder != AT_FDCWD)
            ::close(folder);
    }
    return true;
}
#endif

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: pak_bench_floor ARCHIVE\n");
        return 64;
    }
#ifdef O_TMPFILE
    PakArchive archive;
    NoProgress progress;
    if (!OpenAndLoad(archive, argv[1], progress))
        return 2;

    // Folders in the order they first appear, dealt out to the threads in turn.
    std::unordered_map<std::string, std::vector<std::uint32_t>> byFolder;
    std::vector<const std::vector<std::uint32_t>*> order;
    for (std::uint32_t i = 0; i < archive.m_numFiles; ++i) {
        std::vector<std::uint32_t>& entries = byFolder[std::string(archive.m_table[i].dir.view())];
        if (entries.empty())
            order.push_back(&entries);
        entries.push_back(i);
    }
    // As many as pakunpack takes by default (it takes at most 64).
    const auto threads = static_cast<unsigned>(
        std::min<std::size_t>({UsableProcessors(), 64u, std::max<std::size_t>(order.size(), 1)}));
    std::vector<std::vector<const std::vector<std::uint32_t>*>> shares(threads);
    for (std::size_t k = 0; k < order.size(); ++k)
        shares[k % threads].push_back(order[k]);
    std::vector<char> ok(threads, 0);
    std::vector<std::thread> workers;
    for (unsigned t = 0; t < threads; ++t)
        workers.emplace_back([&, t] { ok[t] = WriteFolders(archive, shares[t]); });
    for (std::thread& worker : workers)
        worker.join();
    return std::all_of(ok.begin(), ok.end(), [](char one) { return one != 0; }) ? 0 : 1;
#else
    std::fprintf(stderr, "pak_bench_floor: this system has no files without a name\n");
    return 3;
#endif
}
