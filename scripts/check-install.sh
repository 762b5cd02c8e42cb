#!/usr/bin/env bash
# Checks the installation and the Debian package (run by .ci/run after the
# tests): an install into a scratch folder holds exactly the expected files, the
# desktop entry, the AppStream metadata and the manual pages pass their
# validators, the package holds the same files with computed dependencies, and
# lintian finds no error and no warning in it.
# Run as root on Debian bookworm; installs what it needs when it is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-missing.sh desktop-file-utils appstream groff-base man-db lintian
bash scripts/package.sh

id=example.shardix.Shardix
expected=(
    usr/bin/shardix
    usr/bin/shardix-cli
    usr/libexec/shardix/shardix
    usr/libexec/shardix/shardix-make-store
    usr/share/shardix/shardix.mdb
    usr/share/applications/"$id".desktop
    usr/share/metainfo/"$id".metainfo.xml
    usr/share/icons/hicolor/{16x16,32x32,48x48,64x64,128x128,256x256}/apps/"$id".png
    usr/share/icons/hicolor/scalable/apps/"$id".svg
    usr/share/man/man1/shardix.1.gz
    usr/share/man/man1/shardix-cli.1.gz
    usr/share/bash-completion/completions/shardix-cli
    usr/share/doc/shardix/copyright
    usr/share/doc/shardix/changelog.gz
)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
problems=0
problem() { echo "FAIL: $*" >&2; problems=$((problems + 1)); }

# same_files WHAT LIST: LIST (one path a line) against the expected files.
printf '%s\n' "${expected[@]}" | sort > "$work/expected"
same_files() {
    sort "$2" > "$work/actual"
    while read -r f; do problem "missing from the $1: $f"; done < <(comm -23 "$work/expected" "$work/actual")
    while read -r f; do problem "not expected in the $1: $f"; done < <(comm -13 "$work/expected" "$work/actual")
}

root=$work/root
DESTDIR=$root cmake --install build --prefix /usr > /dev/null
(cd "$root" && find . ! -type d | sed 's|^\./||') > "$work/installed"
same_files installation "$work/installed"

desktop-file-validate "$root/usr/share/applications/$id.desktop" || problem "desktop entry not valid"
appstreamcli validate --no-net "$root/usr/share/metainfo/$id.metainfo.xml" || problem "AppStream metadata not valid"
for page in "$root"/usr/share/man/man1/*.1.gz; do
    warnings=$( (zcat "$page" | groff -ww -z -man) 2>&1; MANWIDTH=80 man --warnings -l "$page" 2>&1 > /dev/null)
    [[ -z $warnings ]] || problem "$(basename "$page") renders with warnings:"$'\n'"$warnings"
done

deb=$(echo build/shardix_*.deb)
[[ -f $deb ]] || { problem "no package in build/"; exit 1; }
echo "== $deb"
dpkg-deb --info "$deb"
dpkg-deb --contents "$deb"
dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sed 's|^\./||' > "$work/packaged"
same_files package "$work/packaged"
dpkg-deb --field "$deb" Depends | tr ',' '\n' | awk '{print $1}' > "$work/depends"
for name in libqt6widgets6 libsqlcipher0 qt6-qpa-plugins; do
    grep -qx "$name" "$work/depends" || problem "the package does not depend on $name"
done
version=$(sed -nE 's/^project\(Shardix VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
[[ $(dpkg-deb --field "$deb" Version) == "$version" ]] ||
    problem "the package's version is not the project's, $version"

# Debian's own checks of the package: an error or a warning fails (notes are shown).
echo "== lintian"
lintian --fail-on error,warning --info --pedantic "$deb" || problem "lintian reports errors or warnings"

((problems == 0)) || { echo "check-install: $problems problem(s)" >&2; exit 1; }
echo "check-install: all checks passed"
