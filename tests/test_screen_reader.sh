#!/usr/bin/env bash
# The program as a screen reader finds it through AT-SPI (tests/screen_reader.py walks the tree):
# on a virtual X display with a session bus of its own, accessibility on.
# Usage: test_screen_reader.sh KVILLO_EXECUTABLE WINDOW_LIBRARY. Skipped (77) where Xvfb, dbus-run-session,
# xdotool or python3's pyatspi are missing; under CI (CI=true), where tools/test installs them,
# that fails instead.
set -euo pipefail
exe=$1
library=$2 # the window, which the program loads from beside itself
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
missing() {
    [ "${CI:-}" = true ] && { echo "FAIL: $1 is not installed" >&2; exit 1; }
    echo "SKIP: $1 is not installed"
    exit 77
}
for tool in Xvfb dbus-run-session xdotool python3; do
    command -v "$tool" >/dev/null || missing "$tool"
done
# The system's python has the distribution's pyatspi, whichever python3 comes first on PATH.
python=
for candidate in python3 /usr/bin/python3; do
    "$candidate" -c 'import pyatspi' 2>/dev/null && { python=$candidate; break; }
done
[ -n "$python" ] || missing python3-pyatspi
[ -e /usr/share/dbus-1/services/org.a11y.Bus.service ] || missing at-spi2-core

# The real X11 platform, whatever the other tests use.
unset QT_QPA_PLATFORM
if [ "${KVILLO_UNDER_XVFB:-}" != 1 ]; then
    # shellcheck source=tests/virtual_display.sh
    source "$here/virtual_display.sh"
    status=0
    KVILLO_UNDER_XVFB=1 on_virtual_display dbus-run-session -- "$0" "$@" || status=$?
    exit "$status"
fi

dir=$(mktemp -d)
app=
cleanup() {
    if [ -n "$app" ]; then kill -KILL "$app" && wait "$app"; fi 2>/dev/null || true
    rm -rf "$dir"
}
trap cleanup EXIT

cp "$exe" "$dir/kvillo"
cp "$library" "$dir/"
mkdir -p "$dir/database" "$dir/config" "$dir/bin"
printf 'Ivanov\r\nPetrov\r\nSidorov\r\n' >"$dir/database/descriptions.dat"
printf 'ivanov@x.ru\r\npetrov@x.ru\r\nsidorov@x.ru\r\n' >"$dir/database/mails.dat"
printf 'FontName=\r\nArial\r\nFontSize=\r\n10\r\n' >"$dir/config/config.ini"

# No program to open links with: a link's press shows the box that says so. Accessibility is on
# without a screen reader running.
env -u BROWSER -u DEFAULT_BROWSER PATH="$dir/bin" XDG_DATA_HOME="$dir/xdg" QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 \
    "$dir/kvillo" >"$dir/log" 2>&1 &
app=$!
"$python" "$here/screen_reader.py" "$app" || { cat "$dir/log" >&2; exit 1; }
echo "PASS"
