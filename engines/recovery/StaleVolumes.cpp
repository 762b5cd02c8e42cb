#include "engines/recovery/StaleVolumes.h"

#include "engines/io/Folder.h"
#include "engines/recovery/PacketScanner.h"
#include "errors/Quoted.h"

#include <algorithm>
#include <cctype>
#include <sys/stat.h>

namespace shardix {

using namespace par2;

namespace {

// The start of the creator packets this tool writes, whatever its version.
constexpr std::string_view kOurCreator = "Created by Shardix! ";

bool digitsOnly(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(),
                                        [](unsigned char c) { return std::isdigit(c) != 0; });
}

// "BASE.volN+M.par2", as a cut names the volumes of "BASE.par2".
bool isVolumeName(const std::string& name, const std::string& base) {
    const std::string start = base + ".vol", end = ".par2";
    if (name.size() <= start.size() + end.size() || name.compare(0, start.size(), start) != 0 ||
        name.compare(name.size() - end.size(), end.size(), end) != 0)
        return false;
    const std::string numbers = name.substr(start.size(), name.size() - start.size() - end.size());
    const auto plus = numbers.find('+');
    return plus != std::string::npos && digitsOnly(numbers.substr(0, plus)) &&
           digitsOnly(numbers.substr(plus + 1));
}

struct Scanned {
    ScanResult scan;
    PacketStore store;
    bool unopened = false;
};

void scanFile(const Folder& folder, const std::string& name, Scanned& scanned, bool followLink) {
    const Result<FileHandle> file = folder.openForReading(name, followLink);
    struct stat info {};
    scanned.unopened = !file.ok() || ::fstat(file->fd(), &info) != 0;
    if (scanned.unopened)
        return;
    FileSource source(*file, info.st_size);
    scanned.scan = scanPackets(source, scanned.store);
}

// Why the volume scanned is not removed; empty when it is.
std::string whyLeft(const Scanned& scanned, const std::optional<Md5Digest>& replaced) {
    const ScanResult& scan = scanned.scan;
    if (scanned.unopened || scan.readError)
        return "it cannot be read";
    if (scan.packets.empty() || !scan.damage.empty())
        return "it is damaged or holds no recovery packets";
    const Md5Digest set = scan.packets.front().setId;
    bool ours = false;
    for (const Packet& packet : scan.packets) {
        if (packet.setId != set)
            return "it holds packets of several recovery sets";
        const std::string* body = scanned.store.body(packet.hash);
        ours = ours || (packet.kind == PacketKind::Creator && body &&
                        body->compare(0, kOurCreator.size(), kOurCreator) == 0);
    }
    if (!ours)
        return "another program made it";
    if (replaced && set != *replaced)
        return "it belongs to another recovery set than the one replaced";
    return {};
}

} // namespace

std::optional<Md5Digest> setOfIndex(const std::string& indexPath) {
    Result<std::optional<Md5Digest>> found = guarded([&]() -> Result<std::optional<Md5Digest>> {
        const auto [folder, name] = valueOrRaise(Folder::open(indexPath));
        Scanned scanned;
        scanFile(folder, name, scanned, true);
        std::optional<Md5Digest> set;
        for (const Packet& packet : scanned.scan.packets) {
            if (set && *set != packet.setId)
                return std::optional<Md5Digest>();
            set = packet.setId;
        }
        return set;
    });
    return found.ok() ? *found : std::nullopt;
}

Result<StaleVolumes> removeStaleVolumes(const std::string& indexPath,
                                        const std::vector<std::string>& written,
                                        const std::optional<Md5Digest>& replaced, bool remove) {
    return guarded([&]() -> Result<StaleVolumes> {
        const auto [folder, indexName] = valueOrRaise(Folder::open(indexPath));
        const std::string base = indexName.substr(0, indexName.size() - 5);
        std::vector<std::string> names = valueOrRaise(folder.list());
        std::sort(names.begin(), names.end());
        StaleVolumes stale;
        for (const std::string& name : names) {
            if (!isVolumeName(name, base) ||
                std::find(written.begin(), written.end(), name) != written.end())
                continue;
            const Result<struct stat> info = folder.status(name);
            if (!info.ok() || !S_ISREG(info->st_mode))
                continue;
            Scanned scanned;
            scanFile(folder, name, scanned, false);
            const std::string why = remove ? whyLeft(scanned, replaced) : "without --force";
            if (why.empty() && folder.remove(name).ok())
                stale.removed.push_back(folder.display(name));
            else
                stale.left.push_back(shardix::quoted(folder.display(name)) +
                                     " is named as a volume of these recovery files but is not "
                                     "one of them; it was left as it was (" +
                                     (why.empty() ? std::string("it cannot be removed") : why) +
                                     "): remove it if it is from an earlier cut.");
        }
        return stale;
    });
}

} // namespace shardix
