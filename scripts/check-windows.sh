#!/usr/bin/env bash
# Checks the Windows side with a Windows compiler and Wine, as far as a machine without Qt for
# Windows can:
#  1. every source under src/ and tools/ compiles with MinGW-w64 (syntax only), with the flags the
#     build gives it and Qt's headers, which are the same text on every platform;
#  2. the libraries without Qt (src/platform, src/decode) and their tests are built as Windows
#     programs and run under Wine.
# Reads the compile commands of the build in $BUILD_DIR (default: build).
# test.sh runs it; SKIP_WINDOWS=1 leaves it out there.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

ensure_packages "${METERLINK_PACKAGES[@]}" g++-mingw-w64-x86-64-posix wine64 googletest python3
started=$(date +%s)
build_dir=${BUILD_DIR:-build}

# Sources that may not compile for Windows yet (none now); a source not on it must compile, and one
# on it that compiles must leave it.
known_blockers=(
)

work=$(mktemp -d)
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
export WINEDEBUG=-all WINEPREFIX="$work/wine"
cleanup() {
    # Only the Wine server of this run's own prefix.
    if [ -d "$WINEPREFIX" ]; then
        "$(dirname "$wine")/wineserver" -k 2>/dev/null || wineserver -k 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

echo "== Windows compile check (MinGW-w64, syntax only)"
# The build's own flags for each source, written out as they stand in the tree now.
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
# Headers the build finds in /usr/include that carry no platform of their own; the rest of
# /usr/include (the C library's) must not reach the Windows compiler.
mkdir -p "$work/include"
ln -s /usr/include/sqlite3.h /usr/include/sqlite3ext.h /usr/include/mosquitto.h "$work/include/"
status=0
# MinGW-w64 brings some POSIX headers of its own, so the compile alone would let their calls through:
# the operating system's calls stay in src/platform.
posix='#include <(unistd|fcntl|termios|pty|sys/file|sys/stat|sys/ioctl|sys/wait|poll)\.h>|\b(flock|fsync|sigaction|O_CLOEXEC|st_ino)\b'
if outside=$(git grep -lE "$posix" -- src tools ':!src/platform'); then
    echo "FAILED: POSIX calls outside src/platform (move them behind it):" >&2
    echo "$outside" >&2
    status=1
fi
python3 - "$build_dir/compile_commands.json" "$work" "${known_blockers[@]}" <<'PY' || status=1
import concurrent.futures, json, os, shlex, subprocess, sys

database, work, blockers = sys.argv[1], sys.argv[2], set(sys.argv[3:])
root = os.getcwd()
commands = {}
for entry in json.load(open(database)):
    path = os.path.relpath(entry["file"], root)
    if path.startswith(("src/", "tools/")):
        commands[path] = shlex.split(entry.get("command") or shlex.join(entry["arguments"]))
sources = subprocess.run(["git", "ls-files", "src/*.cpp", "tools/*.cpp"], capture_output=True, text=True,
                         check=True).stdout.split()
# The POSIX side of the platform layer is the one Windows never builds; its Windows side is not
# in the (Linux) build's database and borrows the flags of its POSIX sibling.
sources = [s for s in sources if not s.startswith("src/platform/posix/")]

def flags_for(path):
    if path in commands:
        return commands[path]
    folder = os.path.dirname(path)
    while folder:
        for other, args in commands.items():
            if other.startswith(folder + "/"):
                return args
        folder = os.path.dirname(folder)
    raise SystemExit(f"no compile command for {path} or its folder")

def check(path):
    args, keep = flags_for(path)[1:], []
    skip = False
    for a in args:
        if skip:
            skip = False
            continue
        if a in ("-o", "-c", "-MF", "-MT", "-MQ"):
            skip = True
            continue
        if a.startswith(("-fPIC", "-fsanitize", "-MD", "-MMD")) or a.endswith((".cpp", ".o")):
            continue
        keep.append(a.replace("mkspecs/linux-g++", "mkspecs/win32-g++"))
    run = subprocess.run(["x86_64-w64-mingw32-g++-posix", *keep, "-isystem", work + "/include",
                          "-fsyntax-only", path], capture_output=True, text=True)
    return path, run.returncode == 0, run.stderr

failures, compiled = [], 0
with concurrent.futures.ThreadPoolExecutor(os.cpu_count() or 2) as pool:
    for path, ok, errors in sorted(pool.map(check, sources)):
        if ok and path in blockers:
            failures.append(f"{path} compiles now: take it off known_blockers in scripts/check-windows.sh")
        elif ok:
            compiled += 1
        elif path in blockers:
            print(f"not yet portable: {path}")
        else:
            first = [l for l in errors.splitlines() if ": error:" in l][:5]
            failures.append(f"{path} does not compile for Windows:\n    " + "\n    ".join(first))
missing = sorted(b for b in blockers if b not in sources)
for b in missing:
    print(f"note: {b} is on known_blockers but not a source (here): take it off once it is gone")
print(f"{compiled} of {len(sources)} sources compile for Windows; {len(blockers) - len(missing)} not yet portable")
for f in failures:
    print("FAILED: " + f, file=sys.stderr)
sys.exit(1 if failures else 0)
PY

compiled_at=$(date +%s)
echo "Compile check took $((compiled_at - started)) s"

echo "== Windows programs: platform and decode tests under Wine"
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S cmake/windows -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/windows/mingw-w64.cmake" "${launcher[@]}" >/dev/null
cmake --build "$work/build" -j "$(nproc)" >"$work/build.log" || {
    cat "$work/build.log"
    exit 1
}
built_at=$(date +%s)
echo "Building them took $((built_at - compiled_at)) s"
"$wine" wineboot --init >/dev/null 2>&1 || true
for test in "$work"/build/*_test_*.exe; do
    name=$(basename "$test" .exe)
    if (cd "$work" && timeout 300 "$wine" "$test") >"$work/$name.log" 2>&1; then
        # The last summary is the program's own (the lock tests run it again as a second process).
        echo "$name: $(grep -E '^\[==========\] .* ran\.' "$work/$name.log" | tail -n 1 | cut -c 14-)" \
            "$(grep -E '^\[  PASSED  \]' "$work/$name.log" | tail -n 1)"
    else
        echo "$name FAILED under Wine:"
        cat "$work/$name.log"
        status=1
    fi
done
echo "Running them under Wine took $(($(date +%s) - built_at)) s; the Windows check took $(($(date +%s) - started)) s"
exit $status
