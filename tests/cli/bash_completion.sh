#!/usr/bin/env bash
# The bash completion installed with the tool offers its commands, the options
# of the command typed (read from the tool's own usage, so every one of them)
# and file names.
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/cli/common.sh
source "$here/common.sh"
source /usr/share/bash-completion/bash_completion
# shellcheck source=packaging/shardix-cli.bash-completion
source "$here/../../packaging/shardix-cli.bash-completion"
PATH=$(dirname "$cli"):$PATH

# offered WORD...: what completing the last WORD offers, sorted, on one line.
offered() {
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE="$*"
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    _shardix_cli
    printf '%s\n' "${COMPREPLY[@]}" | sort | xargs
}

mkdir films
[[ $(offered shardix-cli "") == "append assemble help join repair segment verify" ]] ||
    fail "commands: $(offered shardix-cli "")"
[[ $(offered shardix-cli as) == assemble ]] || fail "as: $(offered shardix-cli as)"
[[ $(offered shardix-cli help se) == segment ]] || fail "help se: $(offered shardix-cli help se)"
[[ $(offered shardix-cli join --) == "--first --force --help --manifest --no-manifest --output --prefix --quiet" ]] ||
    fail "join options: $(offered shardix-cli join --)"
[[ $(offered shardix-cli segment --di) == --digits ]] || fail "--di: $(offered shardix-cli segment --di)"
[[ $(offered shardix-cli segment fil) == films ]] || fail "files: $(offered shardix-cli segment fil)"
[[ -z $(offered shardix-cli segment --size "") ]] || fail "a SIZE is offered files"
passed
