#pragma once

#include "engines/checksums/Checksums.h"
#include "engines/manifest/Manifest.h"
#include "errors/Result.h"

#include <string>
#include <vector>

namespace shardix {

// Checks, before anything is written, that `inputs` are the pieces that
// `manifest` (read from `manifestPath`) lists: all of them, each once, in the
// manifest's order and each as long as its note says, the files compared by
// identity, so that any spelling of a name or a link to it will do. Gives the
// checksums to check the inputs' bytes against, in order,
// and that of the whole file when the manifest has one. A failure names the
// first piece that is missing, not listed, given twice, out of its place or
// of another length, or a line of the manifest that cannot be read.
Result<Checksums> matchPieces(const Manifest& manifest, const std::string& manifestPath,
                              const std::vector<std::string>& inputs);

// Whether `path` is one of the pieces that `manifest` (read from
// `manifestPath`) lists: the same file, or, where there is no file of that
// name yet, the same name in the same folder.
bool manifestListsAsPiece(const Manifest& manifest, const std::string& manifestPath,
                          const std::string& path);

// The checksums to check a join of `inputs` into `target` against, from the
// manifest `manifestPath`: read and matched as matchPieces does. Refuses a
// target that is the manifest itself or one of the pieces it lists.
Result<Checksums> expectedForJoin(const std::string& manifestPath,
                                  const std::vector<std::string>& inputs,
                                  const std::string& target);

} // namespace shardix
