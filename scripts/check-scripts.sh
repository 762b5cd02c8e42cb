#!/usr/bin/env bash
# Checks every shell script of the repository with shellcheck: the files named
# *.sh or *.sh.in (the launcher's template) and those that start with a shell's
# #! line (.ci/run). A finding at any level fails; a false positive is silenced
# where it stands, by a "disable=SCxxxx" directive that says why. Installs the
# checker when it is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-missing.sh shellcheck

# Whether the file `$1` starts with the #! line of a Bourne-like shell.
starts_as_shell() {
    local first
    IFS= read -r first < "$1" || true
    [[ $first =~ ^#!.*/(env\ )?(ba|da)?sh( |$) ]]
}

scripts=()
while IFS= read -r -d '' file; do
    case $file in
    *.sh | *.sh.in) scripts+=("$file") ;;
    *) if [[ -f $file ]] && starts_as_shell "$file"; then scripts+=("$file"); fi ;;
    esac
done < <(git ls-files -z)
# -x follows the files the scripts source, named from the repository's root.
shellcheck -x "${scripts[@]}"
echo "check-scripts: ${#scripts[@]} shell scripts pass shellcheck"
