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
#include <unordered_map>

namespace {

// How many groups the entries are spread over: enough for the threads to
// share the work evenly, few enough to hold.
constexpr std::uint32_t kMostGroups = 4096;

constexpr std::uint32_t kNoPlace = 0xFFFFFFFF;

constexpr unsigned kCodeApart = 0xFFF;
static_assert(static_cast<int>(ExtractProblem::SystemError) + 1 < 16, "a result's problem takes 4 bits");

// What the threads share: the groups they take in turn, each entry's result
// by its place in `selected`, and whether a thread ran out of memory. An
// entry takes 6 bytes here beside its place in `selected`: the next place of
// its group, and its result, 0 until it is done: the problem + 1 in the low
// 4 bits, a system error code below kCodeApart above them; a larger code is
// kept apart.
class Jobs {
public:
    Jobs(const PakArchive& archive, const std::vector<std::uint32_t>& selected)
        : m_archive(archive), m_selected(selected),
          m_next(archive.ExtractionGroups(selected, kMostGroups)),
          m_done(std::make_unique<std::atomic<std::uint16_t>[]>(selected.size()))
    {
        // From the last place back, each place's group becomes the next
        // place of that group, which leaves each group's first place.
        std::vector<std::uint32_t> first(kMostGroups, kNoPlace);
        for (std::size_t place = m_next.size(); place-- > 0;) {
            const std::uint32_t group = m_next[place];
            m_next[place] = first[group];
            first[group] = static_cast<std::uint32_t>(place);
        }
        for (const std::uint32_t place : first) {
            if (place != kNoPlace)
                m_firsts.push_back(place);
        }
        // In the order of their first entries, as one thread would meet them.
        std::sort(m_firsts.begin(), m_firsts.end());
    }

    std::size_t Groups() const { return m_firsts.size(); }

    // Lets every thread stop after the entry it is writing.
    void Stop() { m_stopped.store(true); }

    // A thread's work: whole groups, the next one not taken, until none is left.
    void Work()
    {
        try {
            Extractor extractor;
            for (std::size_t group; !Stopping() && (group = m_nextGroup.fetch_add(1)) < m_firsts.size();) {
                for (std::uint32_t place = m_firsts[group]; place != kNoPlace; place = m_next[place]) {
                    if (Stopping())
                        break;
                    Finish(place, m_archive.ExtractEntryWith(m_selected[place], extractor));
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
            if (m_done[place].load() == 0) {
                std::unique_lock<std::mutex> lock(m_mutex);
                while (m_done[place].load() == 0 && !m_outOfMemory.load())
                    m_wake.wait_for(lock, std::chrono::milliseconds(100));
            }
            if (m_outOfMemory.load())
                return false;
            done(m_selected[place], ResultAt(place));
        }
        return true;
    }

private:
    bool Stopping() const { return m_outOfMemory.load() || m_stopped.load(); }

    // Keeps the result of the entry at `place`; the store of its problem
    // comes last, so that whoever sees it sees the code too.
    void Finish(std::uint32_t place, const ExtractFailure& failure)
    {
        unsigned code = failure.systemCode >= 0 && failure.systemCode < static_cast<int>(kCodeApart)
                            ? static_cast<unsigned>(failure.systemCode)
                            : kCodeApart;
        if (code == kCodeApart) {
            const std::lock_guard<std::mutex> lock(m_codesMutex);
            m_codes.emplace(place, failure.systemCode);
        }
        m_done[place].store(static_cast<std::uint16_t>(code << 4 | (static_cast<unsigned>(failure.problem) + 1)));
    }

    ExtractFailure ResultAt(std::size_t place)
    {
        const unsigned done = m_done[place].load();
        ExtractFailure failure;
        failure.problem = static_cast<ExtractProblem>((done & 0xF) - 1);
        failure.systemCode = static_cast<int>(done >> 4);
        if (done >> 4 == kCodeApart) {
            const std::lock_guard<std::mutex> lock(m_codesMutex);
            const auto code = m_codes.find(static_cast<std::uint32_t>(place));
            failure.systemCode = code->second;
            m_codes.erase(code);
        }
        return failure;
    }

    void Wake()
    {
        { const std::lock_guard<std::mutex> lock(m_mutex); }
        m_wake.notify_one();
    }

    const PakArchive& m_archive;
    const std::vector<std::uint32_t>& m_selected;
    std::vector<std::uint32_t> m_next;     // by place: the next place of its group
    std::vector<std::uint32_t> m_firsts;   // each group's first place
    std::unique_ptr<std::atomic<std::uint16_t>[]> m_done;   // by place: 0, or the result
    std::unordered_map<std::uint32_t, int> m_codes;         // by place: a code kept apart
    std::mutex m_codesMutex;
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
