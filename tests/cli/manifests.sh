#!/usr/bin/env bash
# A manifest that sha256sum -c reads, in the pieces' folder and in a copy of it
# elsewhere, for names with a blank, a backslash and a line feed; the whole
# file's line checks the assembled file there. It is replaced only with --force,
# and removed, saying so, by a cut again without --manifest.
# shellcheck source=tests/cli/common.sh
source "$(dirname "$0")/common.sh"

mkdir pieces
name=$'a b\\c\nd'
head -c 3000001 /dev/urandom > "$name"
"$cli" segment --manifest --size 1M "$name" "pieces/$name." || fail "segment with a manifest"
"$cli" segment --manifest --size 1M "$name" "pieces/$name." 2>err && fail "replaced a manifest"
grep -q 'already exists; not replaced (use --force' err || fail "$(cat err)"
"$cli" segment --force --manifest --size 1M "$name" "pieces/$name." || fail "--force"
cp -r pieces elsewhere
cd elsewhere
sha256sum -c --strict --ignore-missing "$name..sha256" > out || fail "sha256sum -c: $(cat out)"
[[ $(grep -c ': OK$' out) -eq 3 ]] || fail "sha256sum -c did not check the three pieces"
"$cli" assemble "$name" "$name.3" "$name.1" "$name.2" 2>err && fail "assembled pieces out of order"
{ grep -q "is out of order" err && [[ ! -e $name ]]; } || fail "order: $(cat err)"
"$cli" assemble "$name" "$name.1" "$name.2" "$name.3" 2>err || fail "assemble: $(cat err)"
grep -q "matches 3 pieces and the whole file" err || fail "no word of the check"
sha256sum -c --strict "$name..sha256" > /dev/null || fail "sha256sum -c: the assembled file"
"$cli" verify "$PWD/$name..sha256" > out || fail "verify of good pieces"
[[ $(grep -c ': OK$' out) -eq 4 ]] || fail "verify: $(cat out)"
cp "$name..sha256" kept
"$cli" assemble --force "$name..sha256" "$name.1" "$name.2" "$name.3" 2>err && fail "over the manifest"
{ cmp -s kept "$name..sha256" && grep -q "is the manifest that the pieces" err; } || fail "$(cat err)"
cd ..

# Cutting again without a manifest removes the old one, saying so.
head -c 30000 /dev/urandom > big
"$cli" segment --manifest --size 10K big q || fail "segment into q with a manifest"
{ "$cli" segment --force --size 10K big q 2>err && [[ ! -e q.sha256 ]] &&
    grep -q 'removed "q.sha256"' err; } || fail "the old manifest: $(cat err)"
passed
