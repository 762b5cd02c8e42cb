#include "engines/manifest/ManifestMatch.h"

#include "engines/io/FileIdentity.h"
#include "engines/io/FileIo.h"
#include "engines/io/Messages.h"
#include "errors/Error.h"
#include "errors/Quoted.h"

#include <algorithm>
#include <optional>
#include <sys/stat.h>

namespace shardix {

namespace {

struct Identity {
    dev_t device;
    ino_t inode;
    std::int64_t length;
    bool operator==(const Identity& other) const {
        return device == other.device && inode == other.inode;
    }
};

std::optional<Identity> measuredIdentityOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return Identity{st.st_dev, st.st_ino, st.st_size};
}

Error refusal(const std::string& message) {
    return Error::of(ErrorKind::Refused, message);
}

} // namespace

namespace {

// The match of the inputs of a join with the pieces a manifest lists, one
// check after the other; each names what it refuses.
class PieceMatch {
  public:
    PieceMatch(const Manifest& manifest, const std::string& manifestPath,
               const std::vector<std::string>& inputs)
        : manifest_(manifest), path_(manifestPath), inputs_(inputs),
          folder_(Manifest::folderOf(manifestPath)),
          listedIn_(" in " + shardix::quoted(manifestPath)) {}

    Result<Checksums> run() {
        for (const auto check :
             {&PieceMatch::readable, &PieceMatch::listsPieces, &PieceMatch::noTwoListedAlike,
              &PieceMatch::placeInputs, &PieceMatch::noneLeftOut, &PieceMatch::inOrder,
              &PieceMatch::lengthsAgree}) {
            if (Result<> refused = (this->*check)(); !refused.ok())
                return refused.error();
        }
        Checksums expected;
        expected.source = path_;
        for (const ManifestEntry* piece : pieces_) {
            expected.parts.push_back(piece->digest);
            expected.partAlgorithms.push_back(piece->algorithm);
        }
        if (whole_) {
            expected.whole = whole_->digest;
            expected.wholeAlgorithm = whole_->algorithm;
        }
        return expected;
    }

  private:
    std::string pathOf(const ManifestEntry* entry) const { return folder_ + entry->name; }
    // "of the 4 pieces listed"
    std::string of() const {
        return " of the " + std::to_string(pieces_.size()) + " pieces listed";
    }

    Result<> readable() {
        if (Result<> complete = manifest_.checkComplete(path_); !complete.ok())
            return complete;
        if (!manifest_.problems.empty())
            return refusal(shardix::quoted(path_) + ", " + manifest_.problems.front() + " (" +
                           manifest_.unreadableLine() + ").");
        return {};
    }

    Result<> listsPieces() {
        for (const ManifestEntry& entry : manifest_.entries) {
            if (!entry.whole)
                pieces_.push_back(&entry);
            else if (!whole_)
                whole_ = &entry;
        }
        if (pieces_.empty())
            return refusal(shardix::quoted(path_) + " lists no pieces.");
        for (const ManifestEntry* piece : pieces_)
            listed_.push_back(measuredIdentityOf(pathOf(piece)));
        if (whole_)
            wholeFile_ = measuredIdentityOf(pathOf(whole_));
        return {};
    }

    // Two listed names that lead to one file (a link in place of a piece)
    // cannot both hold their own piece.
    Result<> noTwoListedAlike() {
        for (std::size_t k = 1; k < listed_.size(); ++k) {
            for (std::size_t j = 0; j < k; ++j) {
                if (listed_[j] && listed_[k] && *listed_[j] == *listed_[k])
                    return listedAlike(j, k);
            }
        }
        return {};
    }

    Result<> listedAlike(std::size_t j, std::size_t k) const {
        const std::string numbers = std::to_string(j + 1) + " and " + std::to_string(k + 1) + of();
        if (pieces_[j]->name == pieces_[k]->name)
            return refusal(shardix::quoted(pathOf(pieces_[k])) + " is listed twice" + listedIn_ +
                           ", as pieces " + numbers + ".");
        return refusal(shardix::quoted(pathOf(pieces_[j])) + " and " +
                       shardix::quoted(pathOf(pieces_[k])) + ", pieces " + numbers + listedIn_ +
                       ", are one and the same file: one is a link to the other.");
    }

    // Which listed piece each input is.
    Result<> placeInputs() {
        given_.assign(pieces_.size(), false);
        for (const std::string& input : inputs_) {
            const std::optional<Identity> id = measuredIdentityOf(input);
            if (!id)
                return Error::of(ErrorKind::FileNotFound, msg::kNoSuchFile, input);
            const auto at = std::find(listed_.begin(), listed_.end(), id);
            if (at == listed_.end())
                return notListed(input, *id);
            const auto k = static_cast<std::size_t>(at - listed_.begin());
            if (given_[k])
                return refusal(shardix::quoted(input) + " is given more than once.");
            given_[k] = true;
            place_.push_back(k);
        }
        return {};
    }

    Result<> notListed(const std::string& input, const Identity& id) const {
        if (wholeFile_ && *wholeFile_ == id)
            return refusal(shardix::quoted(input) + " is the whole file" + listedIn_ +
                           ", not one of its pieces.");
        return refusal(shardix::quoted(input) + " is not one of the pieces listed" + listedIn_ +
                       ".");
    }

    Result<> noneLeftOut() {
        for (std::size_t k = 0; k < pieces_.size(); ++k) {
            if (given_[k])
                continue;
            const std::string which = shardix::quoted(pathOf(pieces_[k])) + ", piece " +
                                      std::to_string(k + 1) + of() + listedIn_;
            return refusal(which +
                           (listed_[k] ? ", is not among the files given." : ", is missing."));
        }
        return {};
    }

    Result<> inOrder() {
        for (std::size_t i = 0; i < inputs_.size(); ++i) {
            if (place_[i] != i)
                return refusal(shardix::quoted(inputs_[i]) + " is out of order: it is piece " +
                               std::to_string(place_[i] + 1) + of() + listedIn_ + ", and " +
                               shardix::quoted(pathOf(pieces_[i])) + " is piece " +
                               std::to_string(i + 1) + ".");
        }
        return {};
    }

    Result<> lengthsAgree() {
        for (std::size_t k = 0; k < pieces_.size(); ++k) {
            const auto& length = pieces_[k]->length;
            if (length && listed_[k]->length != *length)
                return refusal(shardix::quoted(inputs_[k]) + " is " +
                               std::to_string(listed_[k]->length) + " bytes long, but piece " +
                               std::to_string(k + 1) + listedIn_ + " has " +
                               std::to_string(*length) + " bytes.");
        }
        return {};
    }

    const Manifest& manifest_;
    const std::string& path_;
    const std::vector<std::string>& inputs_;
    const std::string folder_;
    const std::string listedIn_;
    std::vector<const ManifestEntry*> pieces_;
    const ManifestEntry* whole_ = nullptr;
    std::vector<std::optional<Identity>> listed_;
    std::optional<Identity> wholeFile_;
    std::vector<bool> given_;
    std::vector<std::size_t> place_; // of each input, among the listed pieces
};

} // namespace

Result<Checksums> matchPieces(const Manifest& manifest, const std::string& manifestPath,
                              const std::vector<std::string>& inputs) {
    return PieceMatch(manifest, manifestPath, inputs).run();
}

bool manifestListsAsPiece(const Manifest& manifest, const std::string& manifestPath,
                          const std::string& path) {
    const std::string folder = Manifest::folderOf(manifestPath);
    const Result<FileIdentity> target = identityOf(path);
    const Result<FileIdentity> targetFolder = folderIdentityOf(path);
    const std::string name = path.substr(path.find_last_of('/') + 1);
    for (const ManifestEntry& entry : manifest.entries) {
        if (entry.whole)
            continue;
        const std::string listed = folder + entry.name;
        if (target.ok() ? sameIdentity(target, identityOf(listed))
                        : entry.name.find('/') == std::string::npos && entry.name == name &&
                              sameIdentity(targetFolder, folderIdentityOf(listed)))
            return true;
    }
    return false;
}

Result<Checksums> expectedForJoin(const std::string& manifestPath,
                                  const std::vector<std::string>& inputs,
                                  const std::string& target) {
    const Result<Manifest> manifest = Manifest::read(manifestPath);
    if (!manifest.ok())
        return manifest.error();
    Result<Checksums> expected = matchPieces(*manifest, manifestPath, inputs);
    if (!expected.ok())
        return expected;
    if (sameFile(target, manifestPath))
        return Error::refusedName(shardix::quoted(target) +
                                  " is the manifest that the pieces are checked against; "
                                  "please choose another name for the output.");
    if (manifestListsAsPiece(*manifest, manifestPath, target))
        return Error::refusedName(shardix::quoted(target) + " is one of the pieces that " +
                                  shardix::quoted(manifestPath) +
                                  " lists; please choose another name for the output.");
    return expected;
}

} // namespace shardix
