#!/usr/bin/env bash
# Recovery sets and hostile folders: a pipe named as an index or a checksum
# list is refused at once, not waited on; a name of 255 bytes is rebuilt (its
# temporary and set-aside names cut to fit); a file that cannot be written
# is told and the others are still rebuilt, the status saying that not all
# was; one byte and one block are told in the singular; a BASEPATH that
# names only a folder is a usage error.
# shellcheck source=tests/cli/common.sh
source "$(dirname "$0")/common.sh"
command -v par2 > /dev/null || fail "par2 is not installed (scripts/install-missing.sh par2)"

mkfifo pipe pipe.par2
for command in "verify pipe" "verify pipe.par2" "repair pipe.par2"; do
    rc=0
    # shellcheck disable=SC2086 # the command and its operand, split on purpose
    timeout 10 "$cli" $command 2> err || rc=$?
    { [[ $rc -eq 1 ]] && grep -q 'it is not a regular file' err; } ||
        fail "$command: status $rc, $(cat err)"
done
rm pipe pipe.par2

# A name of 255 bytes, damaged: rebuilt, the damaged file set aside under a
# name cut to fit.
long=$(printf 'L%.0s' {1..255})
head -c 100000 /dev/urandom > "$long"
head -c 5000 /dev/urandom > small
par2 create -q -q -s4096 -r30 s.par2 "$long" small > /dev/null || fail "par2 create"
cp "$long" keep
printf 'QQ' | dd of="$long" bs=1 seek=10 conv=notrunc status=none
"$cli" repair s.par2 > out 2> err || fail "repair of a long name: $(cat out err)"
aside="${long:0:253}.1"
{ cmp -s keep "$long" && [[ -f $aside ]] && grep -q "^$long: rebuilt .*\"$aside\"\$" out; } ||
    fail "repair of a long name: $(cat out err)"
rm -f "$long" "$aside" small keep s.*

# One file too large to be written (ulimit -f): told, the other rebuilt, status 1.
head -c 300000 /dev/urandom > big
head -c 5000 /dev/urandom > small
cp small small.keep
par2 create -q -q -s4096 -r100 s.par2 big small > /dev/null || fail "par2 create"
rm big small
rc=0
(
    trap '' XFSZ
    ulimit -f 100
    "$cli" repair s.par2 > out 2> err
) || rc=$?
{ [[ $rc -eq 1 ]] && cmp -s small small.keep && [[ ! -e big ]] &&
    grep -q '^big: not rebuilt: Cannot write "big.tmp-.*File too large' out &&
    grep -q '^shardix-cli: not repaired: 1 of the 2 files that "s.par2" lists is still not right.$' err &&
    ! compgen -G 'big.tmp-*' > /dev/null; } || fail "a file that cannot be written: status $rc, $(cat out err)"
rm -f s.* small*

# One byte, one block: in the singular.
mkdir d
head -c 8192 /dev/urandom > d/two
(cd d && par2 create -q -q -s4096 -c1 t.par2 two > /dev/null) || fail "par2 create"
cp d/two two.keep
printf 'x' >> d/two
rc=0
"$cli" verify d/t.par2 > out 2> err || rc=$?
{ [[ $rc -eq 1 ]] && grep -q '^d/two: damaged: 1 byte longer than listed, 2 of 2 blocks intact$' out; } ||
    fail "one byte longer: $(cat out err)"
cp two.keep d/two
printf 'YY' | dd of=d/two bs=1 seek=100 conv=notrunc status=none
rc=0
"$cli" verify d/t.par2 > out 2> err || rc=$?
grep -q '1 of the 2 blocks is missing and 1 recovery block is at hand: .shardix-cli repair. can rebuild it.$' err ||
    fail "one block missing: $(cat err)"
printf 'YY' | dd of=d/two bs=1 seek=5000 conv=notrunc status=none
rc=0
"$cli" repair d/t.par2 > out 2> err || rc=$?
{ [[ $rc -eq 1 ]] && grep -q '^shardix-cli: "d/t.par2": 2 blocks are missing and only 1 recovery block is at hand: 1 more is needed. Nothing was changed.$' err; } ||
    fail "one more needed: status $rc, $(cat err)"

# A BASEPATH that ends in "/" names no pieces.
expect_usage_error segment --recovery 10 two.keep d/ 2
expect_usage_error segment two.keep d/ 2
! compgen -G 'd/.*' > /dev/null || fail "a BASEPATH of a folder wrote hidden files"
passed
