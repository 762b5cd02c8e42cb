#pragma once

#include "engines/checksums/Md5Streams.h"
#include "engines/recovery/RecoveryPlan.h"
#include "engines/recovery/RecoveryTypes.h"
#include "errors/Result.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace shardix {

// One piece of a set: its name in the index file's folder, its length, and
// its first bytes (up to kRecoveryHeadBytes). The set names and orders its
// files by ids that hash those first bytes, and the order decides each
// block's factor in the recovery blocks, so they are needed before the first
// byte can be added in.
struct RecoveryPiece {
    std::string name;
    std::int64_t length = 0;
    std::string head;
};

inline constexpr std::size_t kRecoveryHeadBytes = 16384;

// Writes the recovery files of pieces from their bytes given once, in order,
// as a single stream: for a caller that reads a source once while it writes
// the pieces. Checksums and recovery blocks are computed on the worker
// threads while the caller goes on reading.
//
// The index "BASE.par2" and the volumes "BASE.volNN+MM.par2" are written
// under temporary names beside their final ones and renamed into place when
// all is done. When the recovery blocks need more memory than
// RecoveryControl::memory, the first pass takes as many as fit while the
// bytes stream by, and finish() reads the pieces back from the folder for
// the others, a group per pass.
class RecoveryEncoder {
  public:
    // `indexPath` is "FOLDER/BASE.par2"; the pieces are files of FOLDER. With
    // `replace`, existing files of the names to write are replaced; without,
    // they are refused.
    RecoveryEncoder(const std::string& indexPath, std::vector<RecoveryPiece> pieces,
                    const RecoveryPlan& plan, RecoveryControl control = {}, bool replace = false);
    // Removes the temporary files of an encoder that did not finish.
    ~RecoveryEncoder();
    RecoveryEncoder(const RecoveryEncoder&) = delete;
    RecoveryEncoder& operator=(const RecoveryEncoder&) = delete;

    // The Error that the encoder refused its input or failed with (or was
    // stopped with); feed() and finish() then do nothing more and return it.
    Result<> status() const;

    // Where the pieces can be read again while they stream by, `read` taking
    // a piece's index among those given: called before the first feed(), the
    // encoder takes each whole piece's MD5 by reading the pieces side by side
    // on a thread of its own (md5OfStreams), not from the stream on the
    // caller's thread, where the MD5s are one serial chain. Only where that
    // is faster (streamsWorthLanes); else it does nothing. The reads must give
    // the bytes that are streamed: the caller reads them from where they are
    // in memory already (the page cache), not from a disk a second time.
    void rereadPiecesWith(StreamRead read);

    // The next `length` bytes of the pieces, in their order; an empty piece
    // takes none.
    Result<> feed(const void* bytes, std::size_t length);

    // After the last byte: checks that each piece came whole and as its head
    // said, completes the recovery blocks, writes the files and renames them
    // into place. A failed encoder's temporary files are removed, at the
    // latest by its destructor.
    Result<> finish();

    // The names written, in the folder, index first: set by a finish() that
    // succeeded.
    const std::vector<std::string>& written() const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// Writes the recovery files of the pieces `piecePaths` (in that order, all in
// the folder of `indexPath`) according to `plan`, which must have been made
// for their lengths, reading each piece once (more when memory asks for
// several passes).
//
// Failures: the system's kinds (Error::fromErrno) for files that cannot be
// read or written; ErrorKind::Refused for a plan, pieces or names that do
// not fit together, NameRefused for a recovery file's name
// that is taken or is a piece's; InputPastEnd and Mismatch for a piece that
// became shorter or changed while it was read; Stopped when asked to stop.
Result<> createRecovery(const std::string& indexPath, const std::vector<std::string>& piecePaths,
                        const RecoveryPlan& plan, const RecoveryControl& control = {},
                        bool replace = false);

} // namespace shardix
