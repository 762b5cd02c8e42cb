#!/usr/bin/env bash
# Proves that the gates refuse what they claim to refuse. In a copy of the
# sources (configured, not built), one fault at a time:
#   - a function too complex, in a header: check-complexity.sh refuses it;
#   - a test file of more than 400 lines: check-complexity.sh refuses it;
#   - an upward include (engines/io includes engines/operations) and a
#     sideways one (engines/names includes engines/checksums, which it does
#     not link): the file does not compile, and check-layers.sh refuses it;
#   - a sideways include between layers (dialog/ includes notices/):
#     check-layers.sh refuses it;
#   - a link without a use (names links checksums): check-layers.sh refuses it;
#   - a function of engines/io declared to raise (never to return) in its
#     header, and an inline function of engines/recovery that raises in its
#     header: check-layers.sh refuses each;
#   - a changelog whose newest version is not the project's: configuring refuses it.
# Each gate is first run on the unchanged copy and must pass there, so that a
# gate that refuses everything proves nothing. Fails unless every fault is
# refused, by the gate and for the reason expected.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-missing.sh clang-tidy

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
copy=$work/src
mkdir "$copy"
git ls-files -z | tar --null -T - -cf - | tar -xf - -C "$copy"
# The gates list the sources through git.
git -C "$copy" init -q
git -C "$copy" add -A
cmake -S "$copy" -B "$copy/build" -G Ninja > "$work/configure.log" 2>&1 ||
    { cat "$work/configure.log" >&2; exit 1; }

failures=0
fail() {
    echo "check-gates: $*" >&2
    failures=$((failures + 1))
}

# Runs gate "$@" in the copy; its output is in $work/out. Succeeds when the gate passes.
gate() {
    (cd "$copy" && "$@") > "$work/out" 2>&1
}
# The object file of the copy's build for a source of engines/.
object_of() {
    local source=$1 library
    library=${source#engines/}
    library=${library%%/*}
    echo "engines/CMakeFiles/shardix_$library.dir/${source#engines/}.o"
}
compiles() {
    gate ninja -C build "$(object_of "$1")"
}

# expect_refused GATE-NAME PATTERN: the last gate run failed and said PATTERN.
expect_refused() {
    local status=$1 name=$2 pattern=$3
    if ((status == 0)); then
        fail "$name let the fault pass"
    elif ! grep -qE -- "$pattern" "$work/out"; then
        fail "$name failed, but not for the fault (expected /$pattern/):"
        sed 's/^/    /' "$work/out" >&2
    fi
}

# The unchanged copy passes every gate.
gate bash scripts/check-layers.sh || { cat "$work/out" >&2; fail "check-layers refuses the unchanged sources"; }
gate bash scripts/check-complexity.sh engines/io/FileIo.cpp ||
    { cat "$work/out" >&2; fail "check-complexity refuses the unchanged sources"; }
for source in engines/io/FileIo.cpp engines/names/CountText.cpp; do
    compiles "$source" || { cat "$work/out" >&2; fail "$source does not compile unchanged"; }
done
((failures == 0)) || exit 1

# change FILE TEXT: appends TEXT to FILE in the copy, keeping the original to restore.
change() {
    cp "$copy/$1" "$work/original"
    printf '%s\n' "$2" >> "$copy/$1"
}
restore() {
    cp "$work/original" "$copy/$1"
}

# Cognitive complexity 1 + 2 + ... + 7 = 28, over the limit of 25.
change engines/io/FileIo.h '
namespace shardix {
inline int tooComplexForTheGate(int a) {
    if (a > 0)
        if (a > 1)
            if (a > 2)
                if (a > 3)
                    if (a > 4)
                        if (a > 5)
                            if (a > 6)
                                return 7;
    return 0;
}
} // namespace shardix'
status=0
gate bash scripts/check-complexity.sh engines/io/FileIo.cpp || status=$?
expect_refused "$status" "check-complexity (a function in a header)" \
    '^engines/io/FileIo\.h:[0-9]+:.*tooComplexForTheGate.*cognitive complexity'
restore engines/io/FileIo.h

# A test file of 401 lines, one over the limit of 400.
cp "$copy/tests/support/TempDir.h" "$work/original"
missing=$((401 - $(wc -l < "$copy/tests/support/TempDir.h")))
for ((line = 0; line < missing; line++)); do echo '// a line more'; done >> "$copy/tests/support/TempDir.h"
status=0
gate bash scripts/check-complexity.sh engines/io/FileIo.cpp || status=$?
expect_refused "$status" "check-complexity (a test file too long)" \
    '^tests/support/TempDir\.h: 401 lines, more than 400'
restore tests/support/TempDir.h

# include_refused SOURCE HEADER: SOURCE including HEADER neither compiles nor
# passes check-layers.sh.
include_refused() {
    local source=$1 header=$2 status
    change "$source" "#include \"$header\""
    if [[ $source == engines/* ]]; then
        status=0
        compiles "$source" || status=$?
        expect_refused "$status" "the build ($source includes $header)" "${header//./\\.}"
    fi
    status=0
    gate bash scripts/check-layers.sh || status=$?
    expect_refused "$status" "check-layers ($source includes $header)" \
        "^$source:[0-9]+: .* includes from ${header%/*}/"
    restore "$source"
}
include_refused engines/io/FileIo.cpp engines/operations/Segmenter.h
include_refused engines/names/CountText.cpp engines/checksums/Hasher.h
include_refused dialog/FileList.cpp notices/AboutWindow.h

change engines/CMakeLists.txt 'target_link_libraries(shardix_names PUBLIC shardix_checksums)'
status=0
gate bash scripts/check-layers.sh || status=$?
expect_refused "$status" "check-layers (a link without a use)" \
    'shardix_names links shardix_checksums but includes nothing'
restore engines/CMakeLists.txt

change engines/io/FileIo.h '[[noreturn]] void failLater(const FileHandle& in);'
status=0
gate bash scripts/check-layers.sh || status=$?
expect_refused "$status" "check-layers (a function of io that raises)" \
    '^engines/io/FileIo.h:[0-9]+:.* raises in a header'
restore engines/io/FileIo.h

change engines/recovery/WorkerPool.h '
namespace shardix::par2 {
inline void waitOrRaise(WorkerPool& pool, const std::shared_ptr<WorkerPool::Job>& job) {
    if (Result<> done = pool.wait(job); !done.ok())
        fail(done.error());
}
} // namespace shardix::par2'
status=0
gate bash scripts/check-layers.sh || status=$?
expect_refused "$status" "check-layers (a function of recovery that raises)" \
    '^engines/recovery/WorkerPool.h:[0-9]+:.* raises in a header'
restore engines/recovery/WorkerPool.h

change packaging/changelog ''
sed -i '1s/(\([^)]*\))/(\1.1)/' "$copy/packaging/changelog"
status=0
gate cmake -S . -B build || status=$?
expect_refused "$status" "configuring (a changelog of another version)" \
    'packaging/changelog begins with'
restore packaging/changelog

((failures == 0)) || { echo "check-gates: $failures fault(s) not refused" >&2; exit 1; }
echo "check-gates: every gate refuses its fault: a complex function in a header, a test file too" \
    "long, an upward and two sideways includes, a link without a use, a function of io and one of" \
    "recovery that raise," \
    "a changelog of another version"
