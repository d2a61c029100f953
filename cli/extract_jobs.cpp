// pakunpack's threads: one group of entries at a time each, results read
// back in table order.
#include "extract_jobs.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

namespace {

// What the threads share: the groups they take in turn, each entry's result
// by its place in `selected`, and whether a thread ran out of memory.
class Jobs {
public:
    Jobs(const PakArchive& archive, const std::vector<std::uint32_t>& selected)
        : m_archive(archive), m_selected(selected), m_results(selected.size()),
          m_written(std::make_unique<std::atomic<bool>[]>(selected.size()))
    {
        for (const std::vector<std::uint32_t>& group : archive.ExtractionGroups(selected)) {
            m_groups.emplace_back();
            for (const std::uint32_t index : group)
                m_groups.back().push_back(PlaceOf(index));
        }
    }

    std::size_t Groups() const { return m_groups.size(); }

    // Lets every thread stop after the entry it is writing.
    void Stop() { m_stopped.store(true); }

    // A thread's work: whole groups, the next one not taken, until none is left.
    void Work()
    {
        try {
            Extractor extractor;
            for (std::size_t group; !Stopping() && (group = m_nextGroup.fetch_add(1)) < m_groups.size();) {
                for (const std::size_t place : m_groups[group]) {
                    if (Stopping())
                        break;
                    m_results[place] = m_archive.ExtractEntryWith(m_selected[place], extractor);
                    m_written[place].store(true);
                }
                Wake();
            }
        } catch (const std::bad_alloc&) {
            m_outOfMemory.store(true);
            Wake();
        }
    }

    // Hands on each result in table order as it comes, until all are handed
    // on or a thread has run out of memory (false then). Waiting, it looks
    // again whenever a thread has finished a group and at least ten times a
    // second: a wake-up per entry would cost a switch of threads per entry.
    bool HandOn(const EntryDone& done)
    {
        for (std::size_t place = 0; place < m_selected.size(); ++place) {
            if (!m_written[place].load()) {
                std::unique_lock<std::mutex> lock(m_mutex);
                while (!m_written[place].load() && !m_outOfMemory.load())
                    m_wake.wait_for(lock, std::chrono::milliseconds(100));
            }
            if (m_outOfMemory.load())
                return false;
            done(m_selected[place], m_results[place]);
        }
        return true;
    }

private:
    bool Stopping() const { return m_outOfMemory.load() || m_stopped.load(); }

    std::size_t PlaceOf(std::uint32_t index) const
    {
        return static_cast<std::size_t>(std::lower_bound(m_selected.begin(), m_selected.end(), index) -
                                         m_selected.begin());
    }

    void Wake()
    {
        { const std::lock_guard<std::mutex> lock(m_mutex); }
        m_wake.notify_one();
    }

    const PakArchive& m_archive;
    const std::vector<std::uint32_t>& m_selected;
    std::vector<std::vector<std::size_t>> m_groups;   // places in `selected`
    std::vector<ExtractFailure> m_results;
    std::unique_ptr<std::atomic<bool>[]> m_written;
    std::atomic<std::size_t> m_nextGroup{0};
    std::atomic<bool> m_outOfMemory{false};
    std::atomic<bool> m_stopped{false};
    std::mutex m_mutex;
    std::condition_variable m_wake;
};

void ExtractInTableOrder(const PakArchive& archive, const std::vector<std::uint32_t>& selected, const EntryDone& done)
{
    Extractor extractor;
    for (const std::uint32_t index : selected)
        done(index, archive.ExtractEntryWith(index, extractor));
}

} // namespace

void ExtractSelected(const PakArchive& archive, const std::vector<std::uint32_t>& selected, unsigned jobs,
                     const EntryDone& done)
{
    if (jobs <= 1)
        return ExtractInTableOrder(archive, selected, done);
    Jobs shared(archive, selected);
    const std::size_t threads = std::min<std::size_t>(jobs, shared.Groups());
    if (threads <= 1)
        return ExtractInTableOrder(archive, selected, done);

    std::vector<std::thread> workers;
    try {
        for (std::size_t i = 0; i < threads; ++i)
            workers.emplace_back([&shared] { shared.Work(); });
    } catch (const std::system_error&) {
        // The system gives no more threads: those there are do the work.
    }
    if (workers.empty())
        return ExtractInTableOrder(archive, selected, done);
    bool handedOn = false;
    try {
        handedOn = shared.HandOn(done);
    } catch (...) {
        shared.Stop();
        for (std::thread& worker : workers)
            worker.join();
        throw;
    }
    for (std::thread& worker : workers)
        worker.join();
    if (!handedOn)
        throw std::bad_alloc();
}
