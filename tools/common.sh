# Shared by the project's scripts: package installs, builds, and the Wine environment.
# Sourced, not run.

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD="$ROOT/build"

# Debian packages the scripts need. wine32 is never installed: these machines cannot run
# 32-bit code, so the shipped 32-bit program is checked statically.
UNINST_PACKAGES="cmake make clang libclang-rt-14-dev libfuzzer-14-dev googletest
g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
wine wine64 xvfb xdotool x11-utils imagemagick python3-pil fonts-dejavu-core"

ensure_packages() {
    local missing=()
    local package
    for package in $UNINST_PACKAGES; do
        dpkg -s "$package" > /dev/null 2>&1 || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    mkdir -p "$BUILD"
    echo "installing: ${missing[*]}" >&2
    export DEBIAN_FRONTEND=noninteractive
    if [ "$(id -u)" = 0 ]; then SUDO=; else SUDO=sudo; fi
    $SUDO apt-get update -q > /dev/null
    # With recommends: wine64 brings the `wine` launchers and the fonts Wine draws with. Its
    # recommended wine32 cannot be installed here, as no i386 architecture is configured.
    $SUDO apt-get install -y -q "${missing[@]}" > "$BUILD/apt.log" 2>&1 \
        || { cat "$BUILD/apt.log" >&2; return 1; }
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

# Starts Xvfb on display $1 unless something already serves it; sets DISPLAY.
start_xvfb() {
    local display=$1
    export DISPLAY=":$display"
    if ! xdpyinfo -display "$DISPLAY" > /dev/null 2>&1; then
        Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp > /dev/null 2>&1 &
        local tries=0
        until xdpyinfo -display "$DISPLAY" > /dev/null 2>&1; do
            tries=$((tries + 1))
            [ $tries -gt 100 ] && { echo "Xvfb on $DISPLAY did not start" >&2; return 1; }
            sleep 0.1
        done
    fi
}

# Makes (or reuses) the Wine prefix $BUILD/$1 and exports WINEPREFIX. Wine draws the window
# frames itself, since no window manager runs under Xvfb.
use_prefix() {
    export WINEPREFIX="$BUILD/$1"
    if [ ! -f "$WINEPREFIX/.uninst-ready" ]; then
        rm -rf "$WINEPREFIX"
        "$WINE" wineboot -i > "$WINEPREFIX.log" 2>&1 < /dev/null
        "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >> "$WINEPREFIX.log" 2>&1
        "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >> "$WINEPREFIX.log" 2>&1
        wineserver -w
        touch "$WINEPREFIX/.uninst-ready"
    fi
}
