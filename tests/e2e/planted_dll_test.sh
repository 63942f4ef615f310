#!/usr/bin/env bash
# The installer run from a folder where someone planted DLLs under the names of
# system DLLs that are not KnownDLLs, with Wine told to prefer such a native
# copy, as Windows does for these names. Each planted DLL only leaves a mark
# when loaded. The window, an unattended install and the usage must all work,
# and no mark may appear.
#
#   planted_dll_test.sh EXE WINE_RUN MARKER_DLL RESOURCE_SCRIPT
set -u
exe=$1
wine_run=$2
marker=$3
resources=$4

if [ -z "${DISPLAY:-}" ]; then echo "no X display: skipped"; exit 77; fi

failed=0
fail() { echo "FAIL: $*"; failed=1; }

prefix=$(sed -n 's/^export WINEPREFIX="\(.*\)"$/\1/p' "$wine_run")
downloads="$prefix/drive_c/tsr-downloads"
clap_folder='C:\tsr-downloads-clap' clap="$prefix/drive_c/tsr-downloads-clap"
settings="$prefix/drive_c/ProgramData/Tessarine"
cleanup() { rm -rf "$downloads" "$clap" "$settings"; }
trap cleanup EXIT
cleanup
mkdir -p "$downloads"
cp "$exe" "$downloads/tsr_installer.exe"

# Wine's own start-up script would reset the overrides: run the loader directly.
wine() { WINEPREFIX="$prefix" WINEDEBUG=-all /usr/lib/wine/wine64 "$@"; }

# What the installer once imported, and what the framework and the system
# load by name; none of them KnownDLLs.
candidates="version winmm wininet wsock32 rstrtmgr dxgi uiautomationcore uxtheme dwmapi"

# Wine's own system DLLs load some of these (its user32 imports version, its
# comctl32 loads uxtheme as it starts), and Wine's loader, unlike Windows',
# looks for those beside the program too. That happens before the program's
# first instruction, whatever the program does. A control program with the
# installer's resources and imports, which exits at once, shows which names
# Wine loads by itself; those are left out, and said.
control=$downloads/control
mkdir -p "$control"
known="advapi32 comdlg32 gdi32 imm32 kernel32 msvcrt ntdll ole32 oleaut32 shell32 shlwapi user32 ws2_32 rpcrt4 sechost setupapi shcore combase psapi"
python3 - "$exe" "$control/control.c" "$known" <<'PY'
import re, subprocess, sys
dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", sys.argv[1]], capture_output=True, text=True).stdout
first = {}
dll = None
for line in dump.splitlines():
    named = re.search(r"DLL Name: (\S+)", line)
    if named:
        dll = named.group(1)
        continue
    symbol = re.match(r"\s+[0-9a-f]+\s+[0-9a-f]+\s+([A-Za-z_]\w*)$", line)
    if dll and symbol and dll not in first and dll.lower()[:-4] in sys.argv[3].split():
        first[dll] = symbol.group(1)
with open(sys.argv[2], "w") as out:
    for name in first.values():
        out.write(f"extern __declspec(dllimport) void {name}(void);\n")
    out.write("void* const imported[] = {" + ", ".join(f"(void*) {n}" for n in first.values()) + "};\n")
    out.write("extern __declspec(dllimport) void __stdcall ExitProcess(unsigned);\n")
    out.write("void entry(void) { ExitProcess(0); }\n")
    out.write("// link: " + " ".join("-l" + d.lower()[:-4] for d in first) + "\n")
PY
libs=$(sed -n 's,^// link: ,,p' "$control/control.c")
{ x86_64-w64-mingw32-windres "$resources" -o "$control/resources.o" &&
  x86_64-w64-mingw32-gcc -mwindows -nostartfiles -Wl,-e,entry -o "$control/control.exe" "$control/control.c" "$control/resources.o" $libs
} 2>"$control/build.txt" || { fail "the control program did not build: $(cat "$control/build.txt")"; exit 1; }
# One name at a time: a planted DLL Wine itself calls into ends the program,
# and would hide the names after it.
wine_loads=""
for name in $candidates; do
    cp "$marker" "$control/$name.dll"
    ( cd "$control" && WINEDLLOVERRIDES="mscoree,mshtml=;$name=n,b" wine "C:\\tsr-downloads\\control\\control.exe" >/dev/null 2>&1 )
    [ -e "$control/$name.dll.loaded" ] && wine_loads="$wine_loads $name"
    rm -f "$control/$name.dll"
done

names=""
for name in $candidates; do
    case " $wine_loads " in
        *" $name "*) echo "not tried: Wine's own DLLs load $name.dll, and Wine looks for it beside the program" ;;
        *) names="$names $name" ;;
    esac
done
[ -n "$names" ] || { fail "no name left to try"; exit 1; }
echo "planted:$names"

overrides="mscoree,mshtml="
for name in $names; do
    cp "$marker" "$downloads/$name.dll"
    overrides="$overrides;$name=n,b"
done
export WINEDLLOVERRIDES=$overrides

marks() { ls "$downloads"/*.loaded 2>/dev/null | xargs -r -n1 basename; }

# 1. The usage, on the console.
( cd "$downloads" && wine "C:\\tsr-downloads\\tsr_installer.exe" /? >"$downloads/usage.txt" 2>&1 )
grep -q "/VERYSILENT" "$downloads/usage.txt" || fail "/? printed no usage: $(head -3 "$downloads/usage.txt")"

# 2. An unattended install of one format.
( cd "$downloads" && wine "C:\\tsr-downloads\\tsr_installer.exe" /VERYSILENT /COMPONENTS=clap "/CLAPDIR=$clap_folder" >/dev/null 2>&1 )
code=$?
[ $code -eq 0 ] || fail "/VERYSILENT gave $code"
[ -f "$clap/Vantorix3.clap" ] || fail "/VERYSILENT installed nothing"

# 3. The window, until it has drawn, then closed.
( cd "$downloads" && wine "C:\\tsr-downloads\\tsr_installer.exe" >/dev/null 2>&1 ) &
app=$!
win=""
for _ in $(seq 1 300); do
    win=$(xdotool search --onlyvisible --name '^tsr_installer$' 2>/dev/null | head -1)
    [ -n "$win" ] && break
    sleep 0.2
done
[ -n "$win" ] || fail "no window within 60 s"
sleep 2
wine taskkill /IM tsr_installer.exe >/dev/null 2>&1
for _ in $(seq 1 300); do kill -0 $app 2>/dev/null || break; sleep 0.1; done
kill -0 $app 2>/dev/null && { fail "the window did not close"; kill $app; }

loaded=$(marks)
[ -z "$loaded" ] || fail "planted DLLs were loaded: $loaded"

if [ $failed -eq 0 ]; then echo "1 passed, 0 failed"; else echo "0 passed, 1 failed"; fi
exit $failed
