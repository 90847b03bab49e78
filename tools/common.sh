# Shared by the project's scripts: package installs, builds, and the Wine environment.
# Sourced, not run.

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD="$ROOT/build"

# Debian packages the scripts need. wine32 is never installed: these machines cannot run
# 32-bit code, so the shipped 32-bit program is checked statically.
UNINST_PACKAGES="cmake make clang libclang-rt-14-dev libfuzzer-14-dev googletest
g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
wine64 xvfb xdotool x11-utils imagemagick python3-pil fonts-dejavu-core"

ensure_packages() {
    local missing=()
    local package
    for package in $UNINST_PACKAGES; do
        dpkg -s "$package" > /dev/null 2>&1 || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "installing: ${missing[*]}" >&2
    export DEBIAN_FRONTEND=noninteractive
    if [ "$(id -u)" = 0 ]; then SUDO=; else SUDO=sudo; fi
    $SUDO apt-get update -q > /dev/null
    $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}" > "$BUILD.apt.log" 2>&1 \
        || { cat "$BUILD.apt.log" >&2; return 1; }
}

build_all() {
    local preset
    for preset in win32 win64 native; do
        if [ ! -f "$BUILD/$preset/Makefile" ]; then
            (cd "$ROOT" && cmake --preset "$preset") > "$BUILD/$preset.configure.log" 2>&1 \
                || { cat "$BUILD/$preset.configure.log" >&2; return 1; }
        fi
        cmake --build "$BUILD/$preset" -j "$(nproc)" > "$BUILD/$preset.build.log" 2>&1 \
            || { cat "$BUILD/$preset.build.log" >&2; return 1; }
    done
}

# The Wine binary: wine64 directly, since wine32 is absent here.
WINE=/usr/lib/wine/wine64
[ -x "$WINE" ] || WINE=wine
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko: nothing here needs them, and installing them would need the network.
export WINEDLLOVERRIDES="mscoree,mshtml="
