#include "engines/recovery/RepairSession.h"

#include "engines/recovery/PacketScanner.h"
#include "errors/Quoted.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <set>
#include <sys/stat.h>

namespace shardix::par2 {

namespace {

// The files named in notes of the files a set was read from, before "and N more".
constexpr std::size_t kNamesShown = 4;

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool endsWithPar2(const std::string& name) {
    return name.size() > 5 && lowered(name.substr(name.size() - 5)) == ".par2";
}

// The base of a recovery file's name: "BASE" of "BASE.par2" and of
// "BASE.volNN+MM.par2".
std::string baseOf(const std::string& name) {
    std::string base = endsWithPar2(name) ? name.substr(0, name.size() - 5) : name;
    const auto vol = lowered(base).rfind(".vol");
    if (vol == std::string::npos)
        return base;
    const std::string numbers = base.substr(vol + 4);
    const auto sign = numbers.find_first_of("+-");
    const auto digits = [](const std::string& text) {
        return !text.empty() && std::all_of(text.begin(), text.end(),
                                            [](unsigned char c) { return std::isdigit(c) != 0; });
    };
    if (sign != std::string::npos && digits(numbers.substr(0, sign)) &&
        digits(numbers.substr(sign + 1)))
        base.resize(vol);
    return base;
}

// Finds the files of the set of the file the user named: that file first,
// then every other regular file "*.par2" of its folder, by name. The set is
// the one of the named file's packets; when it holds none (it is missing, cut
// short or destroyed), the one of the files "BASE.*.par2" beside it, if they
// all hold packets of one set.
class SetFinder {
  public:
    SetFinder(OpenedSet& opened, WorkerPool& pool, ProgressMeter& progress,
              const RecoveryControl& control, std::vector<std::string>& notes)
        : opened_(opened), folder_(opened.folder), pool_(pool), progress_(progress),
          control_(control), notes_(notes) {}

    RecoverySet run() {
        openNamed();
        listOthers();
        scan({0}, nullptr);
        std::optional<Md5Digest> setId = setOf(sources_[0]);
        if (!setId)
            setId = setOfSiblings();
        std::vector<std::size_t> rest;
        for (std::size_t s = 1; s < sources_.size(); ++s)
            if (!scanned_[s])
                rest.push_back(s);
        scan(rest, &*setId);
        Result<RecoverySet> assembled = assembleSet(sources_, store_, *setId);
        if (!assembled.ok())
            fail(assembled.error());
        RecoverySet set = std::move(assembled).value();
        noteFilesUsed(set);
        closeUnused(set);
        return set;
    }

  private:
    void openNamed();
    void listOthers();
    void scan(const std::vector<std::size_t>& which, const Md5Digest* wanted);
    Md5Digest setOfSiblings();
    void noteFilesUsed(RecoverySet& set) const;
    void closeUnused(const RecoverySet& set);

    OpenedSet& opened_;
    const Folder& folder_;
    WorkerPool& pool_;
    ProgressMeter& progress_;
    const RecoveryControl& control_;
    std::vector<std::string>& notes_;
    PacketStore store_;
    std::vector<ScannedSource> sources_;
    std::vector<char> scanned_;
};

// The named file may be a link; the others may not. A missing one is looked
// for among the others.
void SetFinder::openNamed() {
    Result<FileHandle> file = folder_.openForReading(opened_.indexName, true);
    if (!file.ok() && file.error().kind != ErrorKind::FileNotFound)
        fail(file.error());
    ScannedSource named;
    named.name = opened_.indexName;
    named.shown = opened_.shownIndex();
    named.present = file.ok();
    sources_.push_back(std::move(named));
    opened_.sourceNames.push_back(opened_.indexName);
    opened_.sourceFds.push_back(file.ok() ? std::move(file).value() : FileHandle());
    scanned_.push_back(0);
}

// The other regular files "*.par2" of the folder, not yet opened.
void SetFinder::listOthers() {
    Result<std::vector<std::string>> listed = folder_.list();
    if (!listed.ok())
        notes_.push_back(listed.error().message + " Only the named file is used.");
    std::vector<std::string> names =
        listed.ok() ? std::move(listed).value() : std::vector<std::string>();
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        if (name == opened_.indexName || !endsWithPar2(name))
            continue;
        const Result<struct stat> info = folder_.status(name);
        if (!info.ok() || !S_ISREG(info->st_mode))
            continue;
        sources_.push_back(ScannedSource{name, folder_.display(name), {}, true});
        opened_.sourceNames.push_back(name);
        opened_.sourceFds.emplace_back();
        scanned_.push_back(0);
    }
}

// Opens and scans the sources `which`, on the pool's threads; with `wanted`,
// for the packets of that set only, closing files that hold none.
void SetFinder::scan(const std::vector<std::size_t>& which, const Md5Digest* wanted) {
    std::vector<std::int64_t> sizes(sources_.size());
    std::vector<std::string> unopened;
    for (std::size_t s : which) {
        scanned_[s] = 1;
        if (s != 0) {
            Result<FileHandle> file = folder_.openForReading(sources_[s].name);
            if (!file.ok()) {
                unopened.push_back(file.error().message);
                continue;
            }
            opened_.sourceFds[s] = std::move(file).value();
        }
        struct stat info {};
        const int fd = opened_.sourceFds[s].fd();
        sizes[s] = fd >= 0 && ::fstat(fd, &info) == 0 ? info.st_size : 0;
        progress_.addTotal(sizes[s]);
    }
    auto job = pool_.submit({WorkerPool::Stage{
        which.size(), [&](std::size_t i, unsigned) -> Result<> {
            const std::size_t s = which[i];
            FileHandle& fd = opened_.sourceFds[s];
            if (control_.stopRequested() || !fd.isOpen())
                return {};
            FileSource source(fd, sizes[s]);
            sources_[s].scan = scanPackets(source, store_, wanted,
                                           [this](std::int64_t bytes) { progress_.add(bytes); });
            if (wanted && sources_[s].scan.packets.empty())
                fd = FileHandle();
            return {};
        }}});
    valueOrRaise(progress_.wait(pool_, job));
    if (control_.stopRequested())
        fail(stoppedRepair());
    notes_.insert(notes_.end(), unopened.begin(), unopened.end());
}

// The set of the files "BASE.*.par2" beside a named file that holds no packet.
Md5Digest SetFinder::setOfSiblings() {
    const std::string base = baseOf(opened_.indexName) + ".";
    std::vector<std::size_t> siblings;
    for (std::size_t s = 1; s < sources_.size(); ++s)
        if (sources_[s].name.compare(0, base.size(), base) == 0)
            siblings.push_back(s);
    scan(siblings, nullptr);
    std::map<Md5Digest, std::size_t> sets; // with the first file that holds it
    for (std::size_t s : siblings) {
        for (const Packet& packet : sources_[s].scan.packets)
            sets.emplace(packet.setId, s);
    }
    const ScannedSource& named = sources_[0];
    const std::string start =
        shardix::quoted(named.shown) + " cannot be used: " +
        (named.present ? noPacketWhy(named.scan) : std::string("it is not there"));
    const std::string others = shardix::quoted(folder_.display(base + "*.par2"));
    if (sets.empty())
        fail(Error::of(ErrorKind::Refused, start +
                                               ", and no other recovery file of its folder named " +
                                               others + " holds one."));
    if (sets.size() > 1) {
        const auto first = sets.begin(), second = std::next(first);
        fail(Error::of(ErrorKind::Refused,
                       start + ", and the files " + others + " beside it hold packets of " +
                           std::to_string(sets.size()) + " recovery sets (" +
                           shardix::quoted(sources_[first->second].shown) + " of one, " +
                           shardix::quoted(sources_[second->second].shown) +
                           " of another): name a file of the set to use."));
    }
    return sets.begin()->first;
}

// Which files the set was read from, when its index "BASE.par2" (of the
// named file's BASE) is not among them.
void SetFinder::noteFilesUsed(RecoverySet& set) const {
    const std::string index = baseOf(opened_.indexName) + ".par2";
    for (std::size_t s : set.used)
        if (sources_[s].name == index)
            return;
    std::string text =
        shardix::quoted(folder_.display(index)) +
        (folder_.exists(index) ? " holds no intact packet of the set" : " is not there");
    text += ": the set was read from ";
    for (std::size_t i = 0; i < set.used.size() && i < kNamesShown; ++i)
        text += (i == 0 ? "" : ", ") + shardix::quoted(sources_[set.used[i]].shown);
    if (set.used.size() > kNamesShown)
        text += " and " + std::to_string(set.used.size() - kNamesShown) + " more files";
    set.notes.insert(set.notes.begin(), text + ".");
}

void SetFinder::closeUnused(const RecoverySet& set) {
    for (std::size_t s = 0; s < sources_.size(); ++s)
        if (std::find(set.used.begin(), set.used.end(), s) == set.used.end())
            opened_.sourceFds[s] = FileHandle();
}

} // namespace

std::string noPacketWhy(const ScanResult& scan) {
    std::string why = "it holds no intact PAR 2.0 packet";
    if (!scan.damage.empty())
        why += " (" + scan.damage.front() + ")";
    return why;
}

std::optional<Md5Digest> setOf(const ScannedSource& source) {
    std::set<Md5Digest> sets;
    for (const Packet& packet : source.scan.packets)
        sets.insert(packet.setId);
    if (sets.size() > 1)
        fail(Error::of(ErrorKind::Refused, shardix::quoted(source.shown) +
                                               " cannot be used: it holds "
                                               "packets of " +
                                               std::to_string(sets.size()) +
                                               " different recovery sets."));
    if (sets.empty())
        return std::nullopt;
    return *sets.begin();
}

Error stoppedRepair() {
    return Error::of(ErrorKind::Stopped, "Stopped: nothing was changed.");
}

Result<> loadSet(OpenedSet& opened, WorkerPool& pool, ProgressMeter& progress,
                 const RecoveryControl& control, std::vector<std::string>& notes) {
    return guarded([&]() -> Result<> {
        opened.set = SetFinder(opened, pool, progress, control, notes).run();
        return {};
    });
}

Result<RecoverySet> assembleSetFromBytes(std::string index, const std::vector<std::string>& volumes,
                                         const std::string& indexName) {
    return guarded([&]() -> Result<RecoverySet> {
        PacketStore store;
        std::vector<ScannedSource> sources;
        MemorySource indexSource(std::move(index));
        sources.push_back(ScannedSource{indexName, indexName, scanPackets(indexSource, store)});
        const std::string base = baseOf(indexName);
        for (std::size_t v = 0; v < volumes.size(); ++v) {
            MemorySource volumeSource(volumes[v]);
            const std::string name = base + ".vol" + std::to_string(v) + ".par2";
            sources.push_back(ScannedSource{name, name, scanPackets(volumeSource, store)});
        }
        const std::optional<Md5Digest> setId = setOf(sources[0]);
        if (!setId)
            fail(Error::of(ErrorKind::Refused, shardix::quoted(indexName) + " cannot be used: " +
                                                   noPacketWhy(sources[0].scan) + "."));
        return assembleSet(sources, store, *setId);
    });
}

} // namespace shardix::par2
