#!/usr/bin/env bash
# join against split and cat: sets that split and the tools' other namings made,
# each joined from its first, a middle and its last piece into the file cat
# gives; the checksum lists of md5sum, sha1sum, b2sum (GNU and BSD tags), cksfv
# and a .crc file checked while joining, a damaged piece named; the sets that
# are refused before anything is written; standard output.
# shellcheck source=tests/cli/common.sh
source "$(dirname "$0")/common.sh"

head -c 100003 /dev/urandom > orig

# joins DIR PIECE... : each piece joins DIR's set into a new file equal to orig.
joins() {
    local dir=$1 piece
    shift
    for piece in "$@"; do
        rm -f joined
        "$cli" join --quiet --output joined "$dir/$piece" 2>err || fail "$dir/$piece: $(cat err)"
        cmp -s joined orig || fail "$dir/$piece: not the file that was cut"
    done
}
# cut_set DIR PREFIX SPLIT-OPTION...: DIR holds orig cut by split with those
# options into names that start with PREFIX (split's own x when empty).
cut_set() {
    local dir=$1 prefix=${2:-x}
    shift 2
    mkdir "$dir"
    (cd "$dir" && split "$@" ../orig "$prefix") || fail "split $*"
}

# split's names, of every kind; the middle and last pieces as split made them.
cut_set letters '' -b 10000
joins letters xaa xaf xak
cut_set wide '' -b 10000 -a 4
joins wide xaaaa xaaae xaaak
cut_set chunks '' -n 7
joins chunks xaa xad xag
cut_set digits '' -b 10000 -d
joins digits x00 x05 x10
cut_set from_one part. -n 7 --numeric-suffixes=1
joins from_one part.01 part.04 part.07
# Numbered from 5: refused as missing 1 to 4, unless --first says where it begins.
cut_set from_five part. -n 7 --numeric-suffixes=5
"$cli" join --output joined from_five/part.07 2>err && fail "from 5 joined without --first"
grep -q -- '--first 5' err || fail "from 5: no word of --first: $(cat err)"
rm -f joined
{ "$cli" join --quiet --first 5 --output joined from_five/part.07 && cmp -s joined orig; } ||
    fail "--first 5"
"$cli" join --first 6 --output joined from_five/part.07 2>/dev/null && fail "--first 6 hid piece 5"
cut_set suffixed p -b 10000 --additional-suffix=.bin
joins suffixed paa.bin paf.bin pak.bin
cut_set widened '' -b 100
last=$(find widened -type f -printf '%f\n' | sort | tail -n 1)
[[ $last == xz??? ]] || fail "split did not widen its names: $last"
joins widened xaa xyz xzaaa "$last"
cut_set widened_digits '' -b 300 -d
last=$(find widened_digits -type f -printf '%f\n' | sort | tail -n 1)
joins widened_digits x00 x89 x9000 "$last"
# name.ext.000 .., name.ext.001 .., name.part1 .., name.part01 .., name-N-of-M.
cut_set dots_zero disk.img. -b 10000 -d -a 3
cut_set dots_one disk.img. -b 10000 -a 3 --numeric-suffixes=1
joins dots_zero disk.img.000 disk.img.004 disk.img.010
joins dots_one disk.img.001 disk.img.005 disk.img.011
mkdir parts padded of_total
for k in $(seq 1 11); do
    dd if=orig bs=10000 skip=$((k - 1)) count=1 status=none of="parts/v.part$k"
    cp "parts/v.part$k" "padded/v.part$(printf %02d "$k")"
    cp "parts/v.part$k" "of_total/w-$(printf %05d "$k")-of-00011.gz"
done
joins parts v.part1 v.part6 v.part9
joins padded v.part01 v.part06 v.part11
joins of_total w-00001-of-00011.gz w-00006-of-00011.gz w-00011-of-00011.gz
# Ours, with the manifest beside; the name comes from the set.
mkdir ours
"$cli" segment --manifest orig ours/orig 12 || fail "segment"
joins ours orig1 orig7 orig9
{ "$cli" join --quiet ours/orig7 && cmp -s ours/orig orig; } || fail "ours without --output"
"$cli" join ours/orig7 2>err && fail "replaced the joined file without --force"
grep -q 'already exists; not replaced (use --force' err || fail "$(cat err)"
echo old > ours/orig
{ "$cli" join --force --quiet ours/orig1 && cmp -s ours/orig orig; } || fail "--force"
"$cli" join --quiet --output joined ours/orig.sha256 2>err && fail "joined from a manifest"
grep -q 'is a list of checksums, not a piece' err || fail "a manifest as PIECE: $(cat err)"
"$cli" join --quiet letters/xaa 2>err && fail "split's x gave a name"
grep -q 'give it with --output TARGET' err || fail "no name: $(cat err)"
rm -f joined
{ "$cli" join --quiet --output joined letters && cmp -s joined orig; } || fail "a folder of one set"

# Refused, naming the files, and nothing written.
refused() { # DIR PIECE-OR-FOLDER WORDS
    rm -f joined
    "$cli" join --output joined "$1/$2" 2>err && fail "$1/$2 joined"
    grep -qF -- "$3" err || fail "$1/$2: $(cat err)"
    [[ ! -e joined ]] || fail "$1/$2: something was written"
}
cut_set gap '' -b 10000
rm gap/xae
refused gap xaa '"gap/xae" is missing between "gap/xad" and "gap/xaf"'
mkdir lone
cp digits/x01 lone/
refused lone x01 'the only piece of its set'
cp -r parts twice
cp twice/v.part3 twice/v.part03
refused twice v.part1 '"twice/v.part3" and "twice/v.part03" are both piece 3'
cut_set short '' -b 10000
truncate -s 9999 short/xac
refused short xak '"short/xac" is 9999 bytes, shorter than'
cut_set two_sets '' -b 10000
(cd two_sets && split -b 20000 -d ../orig) || fail "split"
refused two_sets '' 'holds 2 sets of pieces'
joins two_sets xaa x03
mkdir photos
for k in 1 2 3 4 5; do head -c $((5000 + k * 301)) /dev/urandom > "photos/IMG_000$k.jpg"; done
refused photos '' 'are not the pieces of one file'

# Checksum lists of other tools, found beside the pieces, hashed while joining.
listed() { # DIR LIST-WORDS: a set with a list joins and says it matched.
    rm -f joined
    "$cli" join --output joined "$1/x05" 2>err || fail "$1: $(cat err)"
    cmp -s joined orig || fail "$1: not the file that was cut"
    grep -qF "matches 11 pieces in \"$1/$2\"" err || fail "$1: $(cat err)"
}
checked() { # DIR LIST COMMAND...: the list is made by the command in DIR.
    local dir=$1 list=$2
    shift 2
    cut_set "$dir" '' -b 10000 -d
    (cd "$dir" && "$@" x?? > "$list") || fail "$*"
    listed "$dir" "$list"
}
checked with_md5 pieces.md5 md5sum
checked with_sha1 SHA1SUMS sha1sum
checked with_b2 pieces.b2 b2sum --tag
checked with_sums pieces.sums sha256sum --tag
checked with_sfv pieces.sfv cksfv -q
grep -q '^;' with_sfv/pieces.sfv || fail "cksfv wrote no comment"
# A damaged piece is named, for every kind of list.
for dir in with_md5 with_sha1 with_b2 with_sfv; do
    cp "$dir/x07" kept
    dd if=/dev/zero of="$dir/x07" bs=1 seek=4321 count=16 conv=notrunc status=none
    rm -f joined
    "$cli" join --output joined "$dir/x00" 2>err && fail "$dir: a damaged piece joined"
    grep -qF "The bytes of \"$dir/x07\" do not match" err || fail "$dir: $(cat err)"
    mv kept "$dir/x07"
done
# --manifest names a list elsewhere; sha256sum's own list checks the file joined.
cut_set named '' -b 10000 -d
sha256sum named/x?? > named.sha256 || fail "sha256sum"
rm -f joined
"$cli" join --manifest named.sha256 --output joined named/x10 2>err || fail "$(cat err)"
grep -q 'matches 11 pieces' err || fail "--manifest: $(cat err)"
# The file managers' .crc checks the whole file, which it names.
cut_set crc data. -b 10000 -d --additional-suffix=.bin
crc=$(cksfv -q orig | awk '!/^;/ {print $NF}')
printf 'filename=data.bin\nsize=100003\ncrc32=%s\n' "$crc" > crc/data.bin.crc
"$cli" join crc/data.05.bin 2>err || fail ".crc: $(cat err)"
{ cmp -s crc/data.bin orig && grep -q 'matches the whole file in "crc/data.bin.crc"' err; } ||
    fail ".crc: $(cat err)"
printf 'filename=data.bin\nsize=100003\ncrc32=%08X\n' 1 > crc/data.bin.crc
"$cli" join --force crc/data.00.bin 2>err && fail "a .crc of other bytes passed"
grep -q 'does not match the checksum of the whole file in "crc/data.bin.crc"' err ||
    fail ".crc: $(cat err)"
# verify and assemble read the same lists.
(cd with_md5 && "$cli" verify pieces.md5 > ../out) || fail "verify of an md5sum list"
[[ $(grep -c ': OK$' out) -eq 11 ]] || fail "verify: $(cat out)"
"$cli" assemble joined with_sfv/x?? 2>err && fail "assemble over an existing file"
rm -f joined
"$cli" assemble joined with_sfv/x?? 2>err || fail "assemble: $(cat err)"
grep -q 'matches 11 pieces' err || fail "assemble with an .sfv: $(cat err)"

# Standard output: join --output - and assemble -, checked as they stream;
# refused on a terminal.
"$cli" join --quiet --output - with_md5/x03 > streamed || fail "join to standard output"
cmp -s streamed orig || fail "join --output -: not the file that was cut"
"$cli" join --output - with_b2/x03 2>err | cat > streamed || fail "join into a pipe"
{ cmp -s streamed orig && grep -q 'written to standard output match 11 pieces' err; } ||
    fail "join into a pipe: $(cat err)"
{ "$cli" assemble - digits/x?? > streamed && cmp -s streamed orig; } || fail "assemble -"
dd if=/dev/zero of=with_sfv/x02 bs=1 seek=1 count=16 conv=notrunc status=none
"$cli" join --output - with_sfv/x00 > streamed 2>err && fail "a damaged piece streamed"
grep -qF 'The bytes of "with_sfv/x02" do not match' err || fail "stream: $(cat err)"
script -qec "$cli join --output - digits/x00" /dev/null < /dev/null > screen && fail "to a terminal"
grep -q 'Standard output is a terminal' screen || fail "terminal: $(cat -A screen)"
passed
