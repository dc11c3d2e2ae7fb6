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
        # A persistent server; exits at once when one already runs.
        "$WINESERVER" -p >/dev/null 2>&1 9>&- || true
        # The first program of a session starts Wine's system processes
        # (services, winedevice, ...), which inherit its standard streams and
        # outlive it; start them here with none, or a caller waiting for the
        # end of a test's output (CTest) waits until its timeout.
        # wine-stop removes the mark with the server.
        if [ ! -f "$state/session.started" ]; then
            "$WINELOADER" cmd /c exit </dev/null >/dev/null 2>&1 9>&- || true
            touch "$state/session.started"
        fi
    ) 9>"$state/prefix.lock"
}
