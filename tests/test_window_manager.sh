#!/usr/bin/env bash
# The program under a real window manager (icewm on a virtual X display):
# - with no window size in the settings, the outer window is 701 x 497 and that is written back;
# - hidden in the notification area with a modal box open, a click on the icon brings the window
#   back, under the box;
# - when its X server dies (a log-off without a session manager does the same), the program saves
#   as at a termination: an entry deleted in the window stays deleted.
# Usage: test_window_manager.sh KVILLO_EXECUTABLE WINDOW_LIBRARY. Skipped (77) where Xvfb, icewm or xdotool
# are missing; under CI (CI=true), where tools/test installs them, that fails instead.
set -euo pipefail
exe=$1
library=$2 # the window, which the program loads from beside itself
for tool in Xvfb icewm xdotool xprop; do
    if ! command -v "$tool" >/dev/null; then
        [ "${CI:-}" = true ] && { echo "FAIL: $tool is not installed" >&2; exit 1; }
        echo "SKIP: $tool is not installed"
        exit 77
    fi
done

# The real X11 platform, whatever the other tests use.
unset QT_QPA_PLATFORM
if [ "${KVILLO_UNDER_XVFB:-}" != 1 ]; then
    # shellcheck source=tests/virtual_display.sh
    source "$(dirname "${BASH_SOURCE[0]}")/virtual_display.sh"
    status=0
    KVILLO_UNDER_XVFB=1 on_virtual_display "$0" "$@" || status=$?
    exit "$status"
fi

dir=$(mktemp -d)
wm= app= server=
cleanup() {
    [ -n "$app" ] && kill -KILL "$app" 2>/dev/null
    [ -n "$wm" ] && kill "$wm" 2>/dev/null
    [ -n "$server" ] && kill -KILL "$server" 2>/dev/null
    rm -rf "$dir"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
# Waits up to ten seconds for a command to succeed.
await() {
    for _ in $(seq 100); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    fail "gave up waiting for: $*"
}
visible() { xdotool search --onlyvisible --name "$1"; }

cp "$exe" "$dir/kvillo"
cp "$library" "$dir/"
mkdir -p "$dir/database" "$dir/config"
printf 'a\r\n' >"$dir/database/descriptions.dat"
printf 'a@x\r\n' >"$dir/database/mails.dat"
# The section name is Windows-1251; no Width= or Height=.
printf '[\xcf\xe0\xf0\xe0\xec\xe5\xf2\xf0\xfb Kvillo]\r\nFontName=\r\nArial\r\nFontSize=\r\n10\r\nList1.Width=\r\n89\r\n' \
    >"$dir/config/config.ini"

icewm >/dev/null 2>&1 &
wm=$!
await sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"'
XDG_DATA_HOME=$dir/xdg "$dir/kvillo" >/dev/null 2>&1 &
app=$!
await visible '^Kvillo 2.1$'
main=$(visible '^Kvillo 2.1$' | head -1)
# The notification area's icon: the program's 24 x 24 window.
tray_icon() {
    for w in $(xdotool search --class kvillo); do
        xdotool getwindowgeometry "$w" | grep -q 'Geometry: 24x24' && echo "$w" && return 0
    done
    return 1
}
await tray_icon
tray=$(tray_icon)

# "Свернуть" on the toolbar hides the window into the notification area.
xdotool mousemove --window "$main" 50 50 click 1
await sh -c "! xdotool search --onlyvisible --name '^Kvillo 2.1\$'"
# The icon's menu: "О программе" opens a modal box.
xdotool mousemove --window "$tray" 12 12 click 3
sleep 0.3 # the menu takes the keyboard once it is shown
xdotool key Down Down Return
await visible '^О программе$'
# A left click on the icon brings the window back, under the box.
xdotool mousemove --window "$tray" 12 12 click 1
await visible '^Kvillo 2.1$'
stacking=$(for w in $(xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*# //; s/,//g'); do xdotool getwindowname "$w"; done | tr '\n' ';')
case "$stacking" in
*"Kvillo 2.1;О программе;") ;;
*) fail "the box is not on top of the window: $stacking" ;;
esac
xdotool key Return
await sh -c "! xdotool search --onlyvisible --name '^О программе\$'"

# Ended by the system, it writes back the outer size.
kill -TERM "$app"
wait "$app" || fail "the program did not end normally"
app=
tr '\r\n' '  ' <"$dir/config/config.ini" | grep -q 'Width=  701  Height=  497' \
    || fail "written back: $(tr '\r\n' '  ' <"$dir/config/config.ini")"

# An X server of its own dies under the program, with the first entry deleted and the Add dialog open.
printf 'a\r\nb\r\n' >"$dir/database/descriptions.dat"
printf 'FontName=\r\nArial\r\n' >"$dir/config/config.ini"
Xvfb -displayfd 3 -nolisten tcp 3>"$dir/display" 2>/dev/null &
server=$!
await test -s "$dir/display"
export DISPLAY=:$(cat "$dir/display")
XDG_DATA_HOME=$dir/xdg "$dir/kvillo" >/dev/null 2>&1 &
app=$!
await visible '^Kvillo 2.1$'
# The first row of the descriptions, below the menu, the toolbar and the header.
xdotool mousemove --window "$(visible '^Kvillo 2.1$' | head -1)" 20 122 click 1 key Delete ctrl+v
await visible '^Добавить$' # so the keys before it are handled
kill -KILL "$server"
server=
wait "$app" && fail "the program went on without its display"
app=
[ "$(cat "$dir/database/descriptions.dat")" = $'b\r' ] || fail "the deletion was lost"
grep -q '^Width=' "$dir/config/config.ini" || fail "the settings were not saved"
echo "PASS"
