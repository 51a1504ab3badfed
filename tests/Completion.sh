#!/usr/bin/env bash
# The bash completion of pdu-loglevel (or of its vendor's name) offers what the command accepts:
#   Completion.sh COMPLETION_SCRIPT PDU_LOGLEVEL
set -euo pipefail
# shellcheck source=/dev/null
source "$1"
command=$2
# The function the script registers for the command's own file name, whatever its vendor calls it.
completer=$(complete -p "${command##*/}" | awk '{ print $3 }') || { echo "no completion for ${command##*/}"; exit 1; }

complete_line() {  # the words of a command line; the last one is being completed
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    COMPREPLY=()
    "$completer"
    [ ${#COMPREPLY[@]} -eq 0 ] || printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' '
}

failed=0
expect() {  # expect "WANTED" WORD...
    local wanted=$1
    shift
    local got
    got=$(complete_line "$@")
    if [ "$got" != "$wanted" ]; then
        echo "completing '$*': got '$got', want '$wanted'"
        failed=1
    fi
}

expect "COMMS COMPARAM COP " pdu-loglevel -s CO
expect "DEBUG DEBUG1 DEBUG2 DEBUG3 " pdu-loglevel -s COMMS -l DE
expect "PRTCLTRANS " pdu-loglevel --system = PRTCLT
expect "--help --level --system " pdu-loglevel -s COMMS --
expect "" pdu-loglevel -l XX
expect "COMMS COMPARAM COP " pdu-loglevel --sys CO
expect "DEBUG1 " pdu-loglevel --l = DEBUG1
expect "-sCOMMS -sCOMPARAM -sCOP " pdu-loglevel -sCO
expect "" pdu-loglevel -s = CO
expect "COMMS COMPARAM COP " pdu-loglevel -s co
expect "-sCOMMS -sCOMPARAM -sCOP " pdu-loglevel -sCo
expect "OFF " pdu-loglevel -s COMMS --level of

# Every subsystem the command lists, and no other, is offered after -s.
store=$(mktemp -d)
trap 'rm -rf "$store"' EXIT
listed=$(APPDATA=$store "$command" 2>&1 | sed -n 's/^\t\([A-Z0-9]*\) *:.*/\1/p' | sort | tr '\n' ' ')
expect "$listed" pdu-loglevel -s ""
[ "$(echo "$listed" | wc -w)" -eq 19 ] || { echo "the command listed: $listed"; failed=1; }
exit $failed
