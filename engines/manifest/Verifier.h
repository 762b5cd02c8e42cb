#pragma once

#include "engines/manifest/Manifest.h"
#include "engines/manifest/Verdict.h"

#include <string>
#include <vector>

namespace shardix {

class RunProgress;

// Checks every file that `manifest` lists, each under `folder` (the manifest's
// folder, ending with '/', or "" for the current one), and returns a verdict for
// each, in the manifest's order. Files are compared with the note's length
// first, then read and hashed, several at a time on threads of their own. A
// name that is absolute or has a ".." part is not read: a manifest never makes
// the check read outside its folder. Nothing is written.
std::vector<Verdict> verifyManifest(const Manifest& manifest, const std::string& folder,
                                    RunProgress& progress);

// True when `name`, relative to a manifest's folder, leads out of it.
bool leadsOutside(const std::string& name);

} // namespace shardix
