#!/usr/bin/env bash
# Builds the Debian package and installs it for real: two ordinary users each start the program
# with a fresh home, and each gets an address book of their own in their data folder, set up on
# the first start and saved at the end. Removing the package leaves both books in place. The
# package is removed again at the end, whatever happens.
#
# Installing needs root (CI runs it as root on a throwaway machine); a developer without root gets
# a notice and a skip, but under CI a test that cannot run fails.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=tools/lib.sh
source "$root/tools/lib.sh"
fail() { echo "FAIL: $*" >&2; exit 1; }
cannot_run() {
    [ "${CI:-}" = true ] && fail "$*"
    echo "SKIP: $*"
    exit 0
}

[ "$(id -u)" -eq 0 ] || cannot_run "installing the package needs root"
if dpkg-query -W -f='${Status}' kvillo 2>/dev/null | grep -q 'install ok installed'; then
    cannot_run "kvillo is already installed here; this test would remove it"
fi
ensure_packages lintian appstream desktop-file-utils passwd util-linux

"$root/tools/package" >/dev/null
debs=("$root"/build-package/kvillo_*.deb)
[ ${#debs[@]} -eq 1 ] || fail "expected one package, found ${debs[*]}"
deb=${debs[0]}

echo "== lintian"
lintian --fail-on error "$deb" || fail "lintian reports errors"
# Links open through xdg-open.
dpkg-deb -f "$deb" Recommends | grep -qw xdg-utils || fail "the package does not recommend xdg-utils"

work=$(mktemp -d)
chmod 755 "$work"
users=()
pids=()
cleanup() {
    local pid user
    for pid in "${pids[@]}"; do kill -KILL "$pid" 2>/dev/null || true; done
    if dpkg-query -W -f='${Status}' kvillo 2>/dev/null | grep -q 'install ok'; then
        DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq kvillo >/dev/null || true
    fi
    for user in "${users[@]}"; do userdel "$user" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >/dev/null || fail "apt-get install failed"
[ "$(readlink -f /usr/bin/kvillo)" = /usr/lib/kvillo/kvillo ] || fail "no kvillo command on the PATH"
[ -x /usr/lib/kvillo/kvillo ] || fail "no program in /usr/lib/kvillo"
# The program and its window's library, which it loads from beside itself; no data.
[ -z "$(ls -A /usr/lib/kvillo | grep -vx -e kvillo -e libkvillo-window.so)" ] \
    || fail "files beside the installed program: $(ls /usr/lib/kvillo)"
desktop-file-validate /usr/share/applications/kvillo.desktop || fail "the desktop entry is not valid"
grep -qx 'StartupWMClass=kvillo' /usr/share/applications/kvillo.desktop || fail "the desktop entry names no window class"
appstreamcli validate --no-net /usr/share/metainfo/*.metainfo.xml >/dev/null || fail "the metainfo file is not valid"
for size in 16 32 48 64 128; do
    [ -f /usr/share/icons/hicolor/${size}x${size}/apps/kvillo.png ] || fail "no ${size}px icon"
done
man -l --warnings /usr/share/man/man1/kvillo.1.gz >/dev/null || fail "no manual page"
# The README the manual page points to, whole.
zcat /usr/share/man/man1/kvillo.1.gz | grep -q '/usr/share/doc/kvillo/README.md.gz' \
    || fail "the manual page does not name the installed README"
cmp <(zcat /usr/share/doc/kvillo/README.md.gz) "$root/README.md" || fail "no README in /usr/share/doc/kvillo"

# alive PID: the process runs (an ended child that was not waited for yet does not).
alive() {
    [ -r "/proc/$1/status" ] && ! grep -q '^State:[[:space:]]*Z' "/proc/$1/status" 2>/dev/null
}

# make_user NAME: an ordinary user with a fresh home of their own in $work; sets $made.
make_user() {
    made=kvillo-test-$$-$1
    useradd --no-create-home --home-dir "$work/$1" --shell /bin/sh --user-group "$made"
    users+=("$made")
    mkdir -m 700 "$work/$1"
    chown "$made:" "$work/$1"
}

# start USER HOME: starts the installed command as the user, headless, and waits until it is up:
# until the program has set up its handling of SIGTERM (which it does once its window exists).
start() {
    local user=$1 home=$2 pid
    setpriv --reuid="$user" --regid="$user" --init-groups --reset-env -- \
        env HOME="$home" QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$home" kvillo \
        >>"$home.log" 2>&1 &
    pid=$!
    pids+=("$pid")
    for _ in $(seq 600); do
        alive "$pid" || fail "kvillo ended before it was up as $user: $(cat "$home.log")"
        local caught
        caught=$(awk '/^SigCgt:/ { print $2 }' "/proc/$pid/status" 2>/dev/null || echo 0)
        if (((0x$caught >> 14) & 1)); then # SIGTERM is signal 15
            started=$pid
            return
        fi
        sleep 0.1
    done
    fail "kvillo did not come up as $user: $(cat "$home.log")"
}

# stop PID: asks the program to end, as the system does at shut-down; it saves as at a close.
# A request that arrives while the window is still being shown saves but leaves the program
# running (the event loop has not started, so it cannot end yet): ask again until it ends.
stop() {
    local status=0
    for _ in $(seq 30); do
        alive "$1" || break
        kill -TERM "$1"
        for _ in $(seq 20); do
            alive "$1" || break 2
            sleep 0.1
        done
    done
    alive "$1" && fail "kvillo does not end when asked to"
    wait "$1" || status=$?
    [ $status -eq 0 ] || fail "kvillo ended with status $status"
}

# check_new_book HOME USER: the book a first start and a close leave: two empty data files in the
# user's own data folder and the eleven lines of the default settings in their configuration
# folder, theirs alone.
check_new_book() {
    local book=$1/.local/share/kvillo settings=$1/.config/kvillo user=$2 file
    for file in "$book/database/mails.dat" "$book/database/descriptions.dat" "$settings/config.ini"; do
        [ -f "$file" ] || fail "no $file"
        [ "$(stat -c %U "$file")" = "$user" ] || fail "$file does not belong to $user"
    done
    [ -s "$book/database/mails.dat" ] && fail "mails.dat is not empty"
    [ -s "$book/database/descriptions.dat" ] && fail "descriptions.dat is not empty"
    cmp "$settings/config.ini" "$root/resources/book/config/config.ini" || fail "config.ini is not the default settings"
    [ -e "$book/config" ] && fail "the settings are still in the data folder too"
    [ "$(stat -c %a "$book")" = 700 ] || fail "$book may be entered by others"
    [ "$(stat -c %a "$settings")" = 700 ] || fail "$settings may be entered by others"
}

echo "== two users, one book each"
make_user a
user_a=$made
make_user b
user_b=$made
start "$user_a" "$work/a"
pid_a=$started
# Both run at once: the second user's start must not be handed over to the first user's program.
start "$user_b" "$work/b"
pid_b=$started
inode_a=$(stat -c %i "$work/a/.config/kvillo/config.ini")
stop "$pid_a"
stop "$pid_b"
check_new_book "$work/a" "$user_a"
check_new_book "$work/b" "$user_b"
# The settings were written anew at the close (a file replaced atomically is a new file).
[ "$(stat -c %i "$work/a/.config/kvillo/config.ini")" != "$inode_a" ] || fail "nothing was saved at the end"
[ -e /usr/lib/kvillo/database ] && fail "the program wrote beside itself"

echo "== the command line in a fresh home"
make_user c
user_c=$made
as_c() { setpriv --reuid="$user_c" --regid="$user_c" --init-groups --reset-env -- env HOME="$work/c" "$@"; }
# Commands that only read find an empty book and create nothing, not even the data folder.
status=0
as_c kvillo --query ann >/dev/null || status=$?
[ $status -eq 1 ] || fail "--query of a book not set up yet ended with $status"
for command in "--export vcard" "--export csv" --help --version; do
    # shellcheck disable=SC2086
    as_c kvillo $command >/dev/null || fail "kvillo $command failed in a fresh home"
done
[ -z "$(ls -A "$work/c")" ] || fail "a command that only reads created $(ls -A "$work/c")"
# An import sets the book up as a first start does, then adds to it.
printf 'BEGIN:VCARD\nFN:Ann\nEMAIL:ann@example.org\nEND:VCARD\n' >"$work/c.vcf"
chmod 644 "$work/c.vcf"
as_c kvillo --import vcard "$work/c.vcf" 2>/dev/null || fail "the import into a fresh home failed"
[ "$(od -An -c "$work/c/.local/share/kvillo/database/mails.dat" | tr -d ' \n')" = 'ann@example.org\r\n' ] \
    || fail "the import did not store its entry"
cmp "$work/c/.config/kvillo/config.ini" "$root/resources/book/config/config.ini" \
    || fail "the import set up no default settings"
as_c kvillo --query ann | grep -q $'^ann@example.org\tAnn$' || fail "--query does not find the imported entry"

echo "== settings of an earlier version"
# Kept in the data folder before: moved to the configuration folder at the next start, once; a
# newer file there stays, and so does the old one then.
make_user d
user_d=$made
setpriv --reuid="$user_d" --regid="$user_d" --init-groups --reset-env -- \
    sh -c "umask 077 && mkdir -p '$work/d/.local/share/kvillo/database' '$work/d/.local/share/kvillo/config' \
        && touch '$work/d/.local/share/kvillo/database/mails.dat' '$work/d/.local/share/kvillo/database/descriptions.dat' \
        && cp '$root/resources/book/config/config.ini' '$work/d/.local/share/kvillo/config/config.ini'"
start "$user_d" "$work/d"
stop "$started"
check_new_book "$work/d" "$user_d"
setpriv --reuid="$user_d" --regid="$user_d" --init-groups --reset-env -- \
    sh -c "mkdir -m 700 '$work/d/.local/share/kvillo/config' && echo old >'$work/d/.local/share/kvillo/config/config.ini'"
start "$user_d" "$work/d"
stop "$started"
[ "$(cat "$work/d/.local/share/kvillo/config/config.ini")" = old ] || fail "the older settings were moved over newer ones"
cmp "$work/d/.config/kvillo/config.ini" "$root/resources/book/config/config.ini" || fail "the newer settings changed"

echo "== a book brought from Windows"
# Two .dat files copied into the data folder (Windows-1251, CR LF) are read and saved unchanged.
printf 'ann@example.org\r\nbob@example.org\r\n' >"$work/a/.local/share/kvillo/database/mails.dat"
printf '\xc0\xed\xed\xe0\r\nBob\r\n' >"$work/a/.local/share/kvillo/database/descriptions.dat"
start "$user_a" "$work/a"
stop "$started"
[ "$(od -An -c "$work/a/.local/share/kvillo/database/mails.dat" | tr -d ' \n')" = 'ann@example.org\r\nbob@example.org\r\n' ] \
    || fail "the brought addresses changed"
[ "$(od -An -tx1 "$work/a/.local/share/kvillo/database/descriptions.dat" | tr -d ' \n')" = c0edede00d0a426f620d0a ] \
    || fail "the brought descriptions changed"

echo "== removing the package"
books_before=$(cat "$work"/[ab]/.local/share/kvillo/database/* "$work"/[ab]/.config/kvillo/* | sha256sum)
DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq kvillo >/dev/null || fail "apt-get remove failed"
[ -e /usr/bin/kvillo ] && fail "the command is still there after removal"
[ -e /usr/lib/kvillo ] && fail "the program folder is still there after removal"
books_after=$(cat "$work"/[ab]/.local/share/kvillo/database/* "$work"/[ab]/.config/kvillo/* | sha256sum)
[ "$books_before" = "$books_after" ] || fail "removing the package changed a user's book"
echo "1 passed, 0 failed"
