# Sourced by the tests that need an X display of their own.
#
# on_virtual_display COMMAND...: runs COMMAND with DISPLAY set to a new virtual X server and
# stops the server afterwards; COMMAND's exit status. The server picks a free display number
# itself (-displayfd), so tests started together never race for one, as "xvfb-run -a" can.
on_virtual_display() {
    local folder server status=0
    folder=$(mktemp -d)
    Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>"$folder/display" 2>/dev/null &
    server=$!
    for _ in $(seq 100); do
        [ -s "$folder/display" ] && break
        sleep 0.1
    done
    if [ ! -s "$folder/display" ]; then
        echo "FAIL: no virtual X server" >&2
        kill "$server" 2>/dev/null
        rm -rf "$folder"
        return 1
    fi
    DISPLAY=:$(cat "$folder/display") "$@" || status=$?
    kill "$server" 2>/dev/null
    wait "$server" 2>/dev/null || true
    rm -rf "$folder"
    return "$status"
}
