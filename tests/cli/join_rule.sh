#!/usr/bin/env bash
# join decides the set by one rule and never writes over a piece: a piece that
# two sets may hold is refused naming both and --prefix chooses; sets numbered
# from N join whole with --first N; TARGET is never a piece, --force or not; a
# list beside the pieces governs which files are pieces, and one that cannot
# be read is named; volumes of archives are refused; a derived TARGET is told.
# shellcheck source=tests/cli/common.sh
source "$(dirname "$0")/common.sh"

head -c 100003 /dev/urandom > orig

# Our own names, 11 pieces: eps_10 is also piece 0 of split -a 1's "eps_1".
mkdir eps
"$cli" segment orig eps/eps_ 11 || fail "segment"
cp eps/eps_1 first.kept
"$cli" join --quiet eps/eps_1 || fail "eps_1: the whole set"
cmp -s eps/eps orig || fail "eps_1: not the file that was cut"
rm eps/eps
"$cli" join eps/eps_10 2>err && fail "eps_10 joined though two sets may hold it"
grep -qF -- '--prefix "eps_" or --prefix "eps_1"' err || fail "eps_10: $(cat err)"
grep -qF '"eps/eps_10" .. "eps/eps_11" (2 files)' err || fail "eps_10: $(cat err)"
[[ ! -e eps/eps ]] || fail "eps_10: something was written"
# --force does not write over the piece eps_1 that the other reading names.
"$cli" join --force --prefix eps_1 eps/eps_10 2>err && fail "joined over the piece eps_1"
grep -q 'is one of the pieces\|named as a piece' err || fail "over eps_1: $(cat err)"
grep -q -- '--force' err && fail "a hint of --force that is refused: $(cat err)"
cmp -s eps/eps_1 first.kept || fail "eps_1 changed"
"$cli" join --quiet --prefix eps_ eps/eps_10 || fail "--prefix eps_"
cmp -s eps/eps orig || fail "--prefix eps_: not the file that was cut"

# Sets numbered from 8, 100, 1000 join whole with --first.
for from in 8 100 1000; do
    dir=from$from
    width=$((${#from} > 1 ? ${#from} : 2))
    mkdir "$dir"
    (cd "$dir" && split -b 10000 -a "$width" --numeric-suffixes=$from ../orig part.) || fail split
    piece=$(printf "part.%0${width}d" $((from + 4)))
    "$cli" join --output joined "$dir/$piece" 2>err && fail "$dir joined without --first"
    grep -qF -- "--first $from" err || fail "$dir: no word of --first: $(cat err)"
    rm -f joined
    "$cli" join --quiet --first "$from" --output joined "$dir/$piece" 2>err || fail "$dir: $(cat err)"
    cmp -s joined orig || fail "$dir: not the whole set"
done

rm -f joined

# A list governs membership: a numbered file it does not list is refused.
mkdir listed
(cd listed && split -b 30000 -a 3 --numeric-suffixes=1 ../orig data.bin. &&
    sha256sum data.bin.00? > data.bin.sha256 && echo late > data.bin.005) || fail "listed"
"$cli" join --output joined listed/data.bin.001 2>err && fail "a file the list leaves out joined"
grep -qF '"listed/data.bin.005" is numbered as a piece of the set, but' err ||
    fail "unlisted: $(cat err)"
rm listed/data.bin.005
# TARGET listed in the list as a piece is never written over.
"$cli" join --force --output listed/data.bin.002 listed/data.bin.001 2>err &&
    fail "joined over a listed piece"
grep -q -- '--force' err && fail "a hint of --force that is refused: $(cat err)"
# A list named that checks none of the pieces is no check.
sha256sum orig > other.sha256
"$cli" join --manifest other.sha256 --output joined listed/data.bin.001 2>err &&
    fail "joined with a list of none of the pieces"
grep -qF '"other.sha256" lists none of the pieces "listed/data.bin.001" .. ' err ||
    fail "other list: $(cat err)"
[[ ! -e joined ]] || fail "other list: something was written"

# sha224sum, sha384sum and b2sum -l lists check the pieces: a damaged one is named.
for kind in "sha384sum:SHA384SUMS" "sha224sum:p.sha224" "b2sum -l 256:p.b2"; do
    tool=${kind%%:*}
    list=${kind#*:}
    dir=list_${list//./_}
    mkdir "$dir"
    # shellcheck disable=SC2086 # the tool's options are words of their own
    (cd "$dir" && split -b 30000 ../orig p. && $tool p.a? > "$list") || fail "$tool"
    printf X | dd of="$dir/p.ab" bs=1 seek=7 conv=notrunc status=none
    "$cli" join --output joined "$dir/p.aa" 2>err && fail "$tool: a damaged piece joined"
    grep -qF "The bytes of \"$dir/p.ab\" do not match" err || fail "$tool: $(cat err)"
    [[ ! -e joined ]] || fail "$tool: the wrong file kept its name"
    rm -f joined.damaged
done
# Lists that cannot be read, or not told apart, are named; --no-manifest joins.
mkdir unread
(cd unread && split -b 30000 ../orig p. && b2sum -l 256 p.a? > p.sums && b2sum -l 200 p.aa > x.b2) ||
    fail "b2sum"
"$cli" join --output joined unread/p.aa 2>err && fail "joined past lists it cannot read"
grep -qF '"unread/p.sums" beside the pieces cannot be read: line 1: 64 digits' err ||
    fail "unread: $(cat err)"
grep -qF '"unread/x.b2"' err || fail "unread: $(cat err)"
grep -qF -- '--no-manifest' err || fail "unread: no hint: $(cat err)"
"$cli" join --quiet --no-manifest --output joined unread/p.aa || fail "--no-manifest"
cmp -s joined orig || fail "--no-manifest: not the file that was cut"
rm joined

# Volumes of archives are no pieces.
mkdir rar zip
for f in movie.rar movie.r00 movie.r01 movie.r02; do head -c 100 orig > "rar/$f"; done
for f in arch.z01 arch.z02 arch.zip; do head -c 100 orig > "zip/$f"; done
"$cli" join --output joined rar/movie.r01 2>err && fail "RAR volumes joined"
grep -q 'RAR archive' err || fail "rar: $(cat err)"
"$cli" join --output joined zip/arch.z01 2>err && fail "split zip joined"
grep -q 'split zip archive' err || fail "zip: $(cat err)"

# A derived TARGET is told in one line; --quiet says nothing.
mkdir told
"$cli" segment orig told/movie.mkv. 4 || fail "segment"
"$cli" join told/movie.mkv.2 2>err || fail "told: $(cat err)"
grep -qF 'Wrote "told/movie.mkv", 100003 bytes, from 4 pieces.' err || fail "told: $(cat err)"
rm told/movie.mkv
"$cli" join --quiet told/movie.mkv.2 2>err || fail "told quietly: $(cat err)"
[[ ! -s err ]] || fail "--quiet told: $(cat err)"
passed
