#pragma once

namespace shardix {

// Run first thing in main. Standard input, output and error that were closed
// are opened on /dev/null, so that no file the program opens later takes their
// place and receives its messages. The file-size limit's signal is ignored, so
// that a write beyond `ulimit -f` fails with a message instead of ending the
// process silently.
void prepareProcess();

} // namespace shardix
