#!/usr/bin/env bash
# Checks that a Windows program imports only DLLs that every Windows has: the
# kernel, SetupAPI, HID and the C runtime; for the window (a third argument
# "window") also the system DLLs that Qt's Windows platform uses. Anything else
# (libstdc++, libgcc, winpthread, Qt's own DLLs) would have to ship beside it.
set -euo pipefail
objdump=$1
program=$2
kind=${3:-console}
# Windows' own DLLs that the window's Qt (static, scripts/build-qt-windows) imports, and the API sets that
# Windows 8 and later resolve themselves.
window_dlls=" advapi32.dll authz.dll comdlg32.dll d3d11.dll d3d9.dll dwmapi.dll dwrite.dll dxgi.dll gdi32.dll
 imm32.dll netapi32.dll ole32.dll oleaut32.dll shcore.dll shell32.dll shlwapi.dll user32.dll userenv.dll
 uxtheme.dll version.dll winmm.dll ws2_32.dll wtsapi32.dll api-ms-win-core-synch-l1-2-0.dll
 api-ms-win-core-winrt-l1-1-0.dll api-ms-win-core-winrt-string-l1-1-0.dll "
window_dlls=" $(echo $window_dlls) " # one line, each name between spaces

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
        if [ "$kind" = window ] && [[ "$window_dlls" == *" $dll "* ]]; then
            continue
        fi
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
