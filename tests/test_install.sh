#!/usr/bin/env bash
# Installs into a temporary prefix twice, with the user's data changed in between: the second
# install must leave the data and settings alone. Then uninstalls the program's files.
# Usage: test_install.sh BUILD_DIR
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null
program="$prefix/lib/kvillo"
[ -x "$program/kvillo" ] || fail "no executable in $program"
# The window is a library beside the program, which the command line never loads: a mail
# program's query must not pay for starting Qt.
[ -f "$program/libkvillo-window.so" ] || fail "no window library beside the program"
readelf -d "$program/kvillo" | grep -q 'NEEDED.*Qt' && fail "the command line loads Qt"
"$program/kvillo" --version >/dev/null || fail "the installed command line does not run"
QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR= timeout 3 "$program/kvillo" 2>"$prefix/window.err" >/dev/null || true
grep -q "окно программы" "$prefix/window.err" && fail "the installed window does not load: $(cat "$prefix/window.err")"
for f in database/mails.dat database/descriptions.dat config/config.ini; do
    [ -f "$program/$f" ] || fail "no $f beside the executable"
done
[ -s "$program/database/mails.dat" ] && fail "the shipped data files are not empty"
grep -qx "Exec=$program/kvillo" "$prefix/share/applications/kvillo.desktop" || fail "desktop entry does not start the program"
grep -qx "Icon=kvillo" "$prefix/share/applications/kvillo.desktop" || fail "desktop entry has no icon"
grep -qx "StartupWMClass=kvillo" "$prefix/share/applications/kvillo.desktop" || fail "desktop entry does not name the window class"
[ -f "$prefix/share/icons/hicolor/48x48/apps/kvillo.png" ] || fail "no icon installed"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$prefix/share/applications/kvillo.desktop" || fail "desktop entry is not valid"
fi

# The user works with the program: entries and settings change.
printf 'user@example.org\r\n' >"$program/database/mails.dat"
printf 'The user\r\n' >"$program/database/descriptions.dat"
printf 'FontName=\r\nCourier\r\n' >"$program/config/config.ini"
before=$(cat "$program"/database/*.dat "$program/config/config.ini" | sha256sum)

cmake --install "$build" --prefix "$prefix" >/dev/null
after=$(cat "$program"/database/*.dat "$program/config/config.ini" | sha256sum)
[ "$before" = "$after" ] || fail "a reinstall changed the user's data or settings"

# Uninstalling removes what the install put there and keeps the user's files.
xargs rm -f <"$build/install_manifest.txt"
[ -e "$program/kvillo" ] && fail "uninstall left the executable"
[ -f "$program/database/mails.dat" ] || fail "uninstall removed the user's data"
echo "1 passed, 0 failed"
