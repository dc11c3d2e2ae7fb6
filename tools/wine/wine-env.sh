# Sourced by the Wine helpers: selects the loader for an architecture and
# points Wine at a prefix inside the build tree. Nothing outside it is touched.
#   plumix_wine_env STATE_DIR ARCH     (ARCH: i686 or x86_64)
plumix_wine_env() {
    local state=$1 arch=$2
    export WINEPREFIX="$state/prefix"
    export WINEDEBUG=-all
    # No Gecko or Mono installers, no desktop menu entries.
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    if [ "$arch" = x86_64 ]; then
        export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64
    else
        export WINEARCH=win32 WINELOADER=/usr/lib/wine/wine
    fi
    export WINESERVER=/usr/lib/wine/wineserver64
    # Test traffic goes to loopback servers only, never through a proxy.
    unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY
}

# Creates the prefix once (serialised by a lock) and keeps its server alive.
plumix_wine_ready() {
    local state=$1
    mkdir -p "$state"
    (
        flock 9
        if [ ! -f "$state/prefix.ready" ]; then
            rm -rf "$WINEPREFIX"
            "$WINELOADER" wineboot -i >"$state/wineboot.log" 2>&1 9>&- || true
            touch "$state/prefix.ready"
        fi
        # A persistent server; exits at once (non-zero) when one already runs.
        # A fresh server also needs the prefix's system processes: start them
        # here with detached output, or they inherit the caller's pipes and
        # keep CTest waiting for end-of-file until the test times out.
        if "$WINESERVER" -p >/dev/null 2>&1 9>&-; then
            "$WINELOADER" cmd /c exit </dev/null >/dev/null 2>&1 9>&- || true
        fi
    ) 9>"$state/prefix.lock"
}
