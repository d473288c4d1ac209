# Shared by the scripts in tools/: installs Debian packages that are missing.

# What building and running the program needs.
KVILLO_BUILD_PACKAGES=(cmake ninja-build g++ qt6-base-dev qt6-translations-l10n libgl-dev fonts-dejavu-core fonts-liberation2)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1; then
        sudo "$@"
    else
        echo "kvillo: installing packages needs root; run this as root or install sudo" >&2
        return 1
    fi
}

# ensure_packages PKG...: installs those of the packages that are not installed yet.
ensure_packages() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "kvillo: installing ${missing[*]}"
    as_root env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}
