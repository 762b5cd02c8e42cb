#include "engines/manifest/Verifier.h"

#include "engines/checksums/Hasher.h"
#include "engines/io/MeasuredFile.h"
#include "engines/io/RunProgress.h"
#include "errors/Error.h"
#include "errors/Quoted.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <tuple>

namespace shardix {

namespace {

// Checks one listed file; `found` gets the checksum of a file of the listed
// length.
Verdict check(const ManifestEntry& entry, const std::string& path, std::atomic<std::int64_t>& done,
              std::string& found) {
    using Outcome = Verdict::Outcome;
    try {
        const MeasuredFile file = valueOrRaise(openMeasured(path));
        if (entry.length && file.length != *entry.length) {
            return {file.length < *entry.length ? Outcome::Shorter : Outcome::Longer,
                    std::to_string(file.length) + " bytes instead of " +
                        std::to_string(*entry.length)};
        }
        found = valueOrRaise(digestOfRange(entry.algorithm, file.file, 0, file.length, done));
        if (found != entry.digest)
            return {Outcome::Different, {}};
        return {Outcome::Good, {}};
    } catch (const Failed& e) {
        if (e.error().kind == ErrorKind::FileNotFound)
            return {Outcome::Missing, {}};
        return {Outcome::Unreadable, e.error().causeOrMessage()};
    }
}

} // namespace

bool leadsOutside(const std::string& name) {
    if (name.empty() || name.front() == '/')
        return true;
    for (std::size_t start = 0; start <= name.size();) {
        const std::size_t end = std::min(name.find('/', start), name.size());
        if (name.compare(start, end - start, "..") == 0)
            return true;
        start = end + 1;
    }
    return false;
}

namespace {

// A file to check: its place in the manifest and its length on the disk.
struct Job {
    std::int64_t length;
    std::size_t entry;
    bool operator>(const Job& other) const {
        return std::tie(length, entry) > std::tie(other.length, other.entry);
    }
};

// The files to read, the longest first, so that the threads end together;
// names that lead outside the folder are judged at once and not read.
std::vector<Job> plan(const std::vector<ManifestEntry>& entries, const std::string& folder,
                      std::vector<Verdict>& verdicts) {
    std::vector<Job> jobs;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (leadsOutside(entries[i].name)) {
            verdicts[i] = {Verdict::Outcome::Outside, {}};
            continue;
        }
        struct stat st {};
        const std::int64_t length =
            ::stat((folder + entries[i].name).c_str(), &st) == 0 ? st.st_size : 0;
        jobs.push_back({length, i});
    }
    std::sort(jobs.begin(), jobs.end(), std::greater<>());
    return jobs;
}

// The checks of one manifest's files, on a few threads of their own.
class Checks {
  public:
    Checks(const std::vector<ManifestEntry>& entries, const std::string& folder,
           std::vector<Verdict>& verdicts, std::vector<std::string>& found)
        : entries_(entries), folder_(folder), verdicts_(verdicts), found_(found),
          jobs_(plan(entries, folder, verdicts)) {}

    // Runs them, telling `progress` how far they are about ten times a second.
    void run(RunProgress& progress) {
        std::int64_t total = 0;
        for (const Job& job : jobs_)
            total += job.length;
        std::size_t threads = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 4);
        running_ = threads = std::min(threads, std::max<std::size_t>(jobs_.size(), 1));
        std::vector<std::thread> workers;
        for (std::size_t t = 0; t < threads; ++t)
            workers.emplace_back([this] { work(); });
        waitShowing(progress, total);
        for (std::thread& worker : workers)
            worker.join();
        progress.setBytesDone(done_, std::max<std::int64_t>(done_, total));
    }

  private:
    void work() {
        for (std::size_t j; (j = next_++) < jobs_.size();) {
            const std::size_t i = jobs_[j].entry;
            verdicts_[i] = check(entries_[i], folder_ + entries_[i].name, done_, found_[i]);
        }
        std::lock_guard lock(mutex_);
        --running_;
        ended_.notify_all();
    }

    void waitShowing(RunProgress& progress, std::int64_t total) {
        std::unique_lock lock(mutex_);
        while (
            !ended_.wait_for(lock, std::chrono::milliseconds(100), [&] { return running_ == 0; })) {
            lock.unlock();
            progress.setBytesDone(done_, total);
            lock.lock();
        }
    }

    const std::vector<ManifestEntry>& entries_;
    const std::string& folder_;
    std::vector<Verdict>& verdicts_;
    std::vector<std::string>& found_;
    const std::vector<Job> jobs_;
    std::atomic<std::int64_t> done_{0};
    std::atomic<std::size_t> next_{0};
    std::mutex mutex_;
    std::condition_variable ended_;
    std::size_t running_ = 0;
};

// A piece that holds another listed piece's bytes was swapped or renamed: say
// which, so the user can put it back in its place.
void nameSwappedPieces(const std::vector<ManifestEntry>& entries,
                       const std::vector<std::string>& found, std::vector<Verdict>& verdicts) {
    for (std::size_t i = 0; i < verdicts.size(); ++i) {
        if (verdicts[i].outcome != Verdict::Outcome::Different)
            continue;
        const auto same = std::find_if(entries.begin(), entries.end(), [&](const auto& e) {
            return e.digest == found[i] && e.algorithm == entries[i].algorithm;
        });
        if (same != entries.end())
            verdicts[i].detail =
                "it holds the bytes listed for " + shardix::quoted(Manifest::shownName(same->name));
    }
}

} // namespace

std::vector<Verdict> verifyManifest(const Manifest& manifest, const std::string& folder,
                                    RunProgress& progress) {
    std::vector<Verdict> verdicts(manifest.entries.size());
    std::vector<std::string> found(manifest.entries.size()); // the checksums of the files read
    Checks(manifest.entries, folder, verdicts, found).run(progress);
    nameSwappedPieces(manifest.entries, found, verdicts);
    return verdicts;
}

} // namespace shardix
