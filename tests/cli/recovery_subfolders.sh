#!/usr/bin/env bash
# Sets of files in subfolders (par2 create -R): verified and repaired, a
# missing subfolder made again, par2 agreeing afterwards; a folder on the way
# that is a symbolic link is not followed: the files behind it are told by
# name, not rebuilt, and nothing outside the set's folder is touched.
# shellcheck source=tests/cli/common.sh
source "$(dirname "$0")/common.sh"
command -v par2 > /dev/null || fail "par2 is not installed (scripts/install-missing.sh par2)"

mkdir -p set/sub/deeper
head -c 50000 /dev/urandom > set/top.bin
head -c 70000 /dev/urandom > set/sub/a.bin
head -c 30000 /dev/urandom > set/sub/deeper/b.bin
(cd set && par2 create -q -q -R -s4096 -r100 all.par2 . > /dev/null) || fail "par2 create -R"
cp -r set keep
"$cli" verify set/all.par2 > out 2> err || fail "verify of an intact set: $(cat out err)"
{ [[ $(grep -c ': OK$' out) -eq 3 ]] && grep -q '^set/sub/deeper/b.bin: OK$' out; } ||
    fail "verify: $(cat out)"

rm -r set/sub/deeper
printf 'QQ' | dd of=set/sub/a.bin bs=1 seek=100 conv=notrunc status=none
rc=0
"$cli" verify set/all.par2 > out 2> err || rc=$?
{ [[ $rc -eq 1 ]] && grep -q '^set/sub/deeper/b.bin: missing$' out &&
    grep -q '^set/sub/a.bin: damaged: .*, 17 of 18 blocks intact$' out; } || fail "verify: $(cat out err)"
"$cli" repair set/all.par2 > out 2> err || fail "repair: $(cat out err)"
{ cmp -s set/sub/a.bin keep/sub/a.bin && cmp -s set/sub/deeper/b.bin keep/sub/deeper/b.bin &&
    grep -q '"set/sub/a.bin.1"$' out; } || fail "repair: $(cat out err)"
(cd set && par2 verify -q all.par2 > /dev/null) || fail "par2 verify after our repair"

# The subfolder made a link to a folder outside: not followed, told by name,
# the files behind it not rebuilt.
rm set/sub/a.bin.1
mv set/sub outside
ln -s ../outside set/sub
rm outside/deeper/b.bin
cp -r outside outside.before
rc=0
"$cli" verify set/all.par2 > out 2> err || rc=$?
grep -q '^set/sub/a.bin: damaged: a symbolic link (it or a folder on its way), not followed$' out ||
    fail "verify of a link on the way: $(cat out err)"
rc=0
"$cli" repair set/all.par2 > out 2> err || rc=$?
{ [[ $rc -eq 1 ]] && diff -r outside outside.before > /dev/null &&
    grep -q '^set/sub/a.bin: not rebuilt: Cannot create a temporary file for "set/sub/a.bin": ' out &&
    grep -q '^shardix-cli: not repaired: 2 of the 3 files that "set/all.par2" lists are still not right.$' err; } ||
    fail "a link on the way: status $rc, $(cat out err)"
passed
