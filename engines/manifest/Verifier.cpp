#include "engines/manifest/Verifier.h"

#include "engines/checksums/Sha256.h"
#include "engines/io/MeasuredFile.h"
#include "engines/io/RunProgress.h"
#include "errors/Error.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <sys/stat.h>
#include <thread>

namespace shardix {

namespace {

// Checks one listed file; `found` gets the checksum of a file of the listed
// length.
Verdict check(const ManifestEntry& entry, const std::string& path, std::atomic<std::int64_t>& done,
              std::string& found) {
    using Outcome = Verdict::Outcome;
    try {
        const MeasuredFile file = openMeasured(path);
        if (entry.length && file.length != *entry.length) {
            return {file.length < *entry.length ? Outcome::Shorter : Outcome::Longer,
                    std::to_string(file.length) + " bytes instead of " +
                        std::to_string(*entry.length)};
        }
        found = Sha256::ofFile(file.file, file.length, done);
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

std::vector<Verdict> verifyManifest(const Manifest& manifest, const std::string& folder,
                                    RunProgress& progress) {
    const std::vector<ManifestEntry>& entries = manifest.entries;
    std::vector<Verdict> verdicts(entries.size());
    std::vector<std::string> found(entries.size()); // the checksums of the files read

    // The files to read, the longest first, so that the threads end together.
    std::vector<std::pair<std::int64_t, std::size_t>> jobs;
    std::int64_t total = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (leadsOutside(entries[i].name)) {
            verdicts[i] = {Verdict::Outcome::Outside, {}};
            continue;
        }
        struct stat st {};
        const std::int64_t length =
            ::stat((folder + entries[i].name).c_str(), &st) == 0 ? st.st_size : 0;
        total += length;
        jobs.emplace_back(length, i);
    }
    std::sort(jobs.begin(), jobs.end(), std::greater<>());

    std::atomic<std::int64_t> done{0};
    std::atomic<std::size_t> next{0};
    std::mutex mutex;
    std::condition_variable ended;
    std::size_t running = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 4);
    running = std::min(running, std::max<std::size_t>(jobs.size(), 1));
    const std::size_t threads = running;
    std::vector<std::thread> workers;
    for (std::size_t t = 0; t < threads; ++t) {
        workers.emplace_back([&] {
            for (std::size_t j; (j = next++) < jobs.size();) {
                const std::size_t i = jobs[j].second;
                verdicts[i] = check(entries[i], folder + entries[i].name, done, found[i]);
            }
            std::lock_guard lock(mutex);
            --running;
            ended.notify_all();
        });
    }
    {
        std::unique_lock lock(mutex);
        while (
            !ended.wait_for(lock, std::chrono::milliseconds(100), [&] { return running == 0; })) {
            lock.unlock();
            progress.setBytesDone(done, total);
            lock.lock();
        }
    }
    for (std::thread& worker : workers)
        worker.join();
    progress.setBytesDone(done, std::max<std::int64_t>(done, total));

    // A piece that holds another listed piece's bytes was swapped or renamed:
    // say which, so the user can put it back in its place.
    for (std::size_t i = 0; i < verdicts.size(); ++i) {
        if (verdicts[i].outcome != Verdict::Outcome::Different)
            continue;
        const auto same = std::find_if(entries.begin(), entries.end(),
                                       [&](const auto& e) { return e.digest == found[i]; });
        if (same != entries.end())
            verdicts[i].detail =
                "it holds the bytes listed for \"" + Manifest::shownName(same->name) + "\"";
    }
    return verdicts;
}

} // namespace shardix
