#!/usr/bin/env bash
# A copy of quillrun.exe with a settings file in a folder that nobody may change, not even root
# (under which tests may run, and for whom permission bits mean nothing): the immutable
# attribute. For the test of a read-only application folder.
#
#   readonly-app.sh up   FOLDER EXE   create FOLDER with EXE and a settings file, make it immutable
#   readonly-app.sh down FOLDER       make it changeable again and remove it
set -euo pipefail

command=${1:?usage: readonly-app.sh up|down FOLDER [EXE]}
folder=${2:?folder}

release() {
    [[ -e $folder ]] || return 0
    chattr -R -i "$folder" 2>/dev/null || true
    rm -rf "$folder"
}

case $command in
up)
    release
    mkdir -p "$folder"
    cp "${3:?quillrun.exe}" "$folder/quillrun.exe"
    printf 'C:\\Apps\\kept-target.exe /x\r\n' >"$folder/quillrun.ini"
    if ! chattr +i "$folder/quillrun.ini" "$folder" 2>/dev/null; then
        echo "cannot make $folder immutable here: the read-only folder test will skip" >&2
    fi
    ;;
down) release ;;
*)
    echo "unknown command: $command" >&2
    exit 2
    ;;
esac
