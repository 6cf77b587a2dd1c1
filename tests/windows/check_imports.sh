#!/usr/bin/env bash
# Checks that a Windows program imports only DLLs that every Windows has: the
# kernel, SetupAPI, HID and the C runtime. Anything else (libstdc++, libgcc,
# winpthread) would have to ship beside it.
set -euo pipefail
objdump=$1
program=$2

dlls=$("$objdump" -p "$program" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr '[:upper:]' '[:lower:]' | sort -u)
if [ -z "$dlls" ]; then
    echo "no imports found in $program"
    exit 1
fi
echo "imports of $(basename "$program"):" $dlls
fail=0
for dll in $dlls; do
    case "$dll" in
    kernel32.dll | setupapi.dll | hid.dll | msvcrt.dll) ;;
    *)
        echo "not a system DLL: $dll"
        fail=1
        ;;
    esac
done
for needed in kernel32.dll setupapi.dll hid.dll; do
    if ! grep -qx "$needed" <<<"$dlls"; then
        echo "missing import: $needed"
        fail=1
    fi
done
exit $fail
