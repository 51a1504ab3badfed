#!/usr/bin/env bash
# The README's session, run as it is written against the built tool, its output compared
# line for line (times matched by pattern). (The loop back to the defaults is a command test,
# run by each platform's shell.)
#   ReadmeCommands.sh README PDU_LOGLEVEL
set -euo pipefail
readme=$1
tool=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The session calls the tool build/pdu-loglevel.
mkdir "$work/build"
ln -s "$tool" "$work/build/pdu-loglevel"
cd "$work"
failed=0

# The session: the fenced block that starts with "$ export APPDATA=", its store made fresh here.
awk '/^```/ { if (inside) exit; next } /^\$ export APPDATA=/ { inside = 1 } inside' "$readme" > session.txt
[ -s session.txt ] || { echo "no session in $readme"; exit 1; }
: > ran.txt
while IFS= read -r line; do
    case $line in
        '$ export APPDATA='*) echo "$line" >> ran.txt; export APPDATA=$work/store ;;
        '$ '*) echo "$line" >> ran.txt; eval "${line#\$ }" >> ran.txt 2>&1 || true ;;
    esac
done < session.txt
times='s/[0-9][0-9]:[0-9][0-9]:[0-9][0-9]\.[0-9][0-9][0-9]/TT/g'
if ! diff <(sed "$times" session.txt) <(sed "$times" ran.txt); then
    echo "the README's session is not what the tool does (above: - README, + tool)"
    failed=1
fi

exit $failed
