#!/usr/bin/env bash
# The one place that installs Debian packages: what the build, the program and
# the tests need, plus the packages named on the command line. Uses sudo when
# not run as root.
#   tools/deps.sh [PACKAGE[=COMMAND,...]...] [--optional PACKAGE[=COMMAND,...]...]
# A package may name the commands the scripts run from it (a name looked up on
# the PATH, or an absolute path). Whether or not anything was installed, each
# is looked up afterwards: one that is missing fails the set-up with a line
# naming the command and the package expected to bring it (an optional
# package without its command counts as not installed).
# Packages after --optional may fail to install: each that does is named with
# apt's reason (kept in build-deps/missing-PACKAGE.txt for the scripts that
# then skip what needs it, and not tried again within the hour), and the
# script still succeeds. Any
# other package that can't be installed ends it with one line naming the
# package and apt's reason, and a non-zero status.
#
# A package index that can't be fetched (a mirror being synced, say) does not
# stop the set-up: `apt-get update` is tried three times, then the install goes
# on with the lists that were fetched. A name such as wine32:i386 adds its
# architecture to dpkg first.
set -euo pipefail
cd "$(dirname "$0")/.."
state="$(pwd)/build-deps"

required=(
    cmake=cmake ninja-build=ninja g++=g++ pkg-config=pkg-config
    libgtest-dev
    # The dialog program: Qt 6 Widgets with its platform plugins, and a font.
    qt6-base-dev qt6-qpa-plugins libgl-dev fonts-dejavu-core
    # The resource compiler a test checks res/tessup.rc with.
    binutils-mingw-w64-x86-64=x86_64-w64-mingw32-windres
    # The install test checks the menu entry with desktop-file-validate, and
    # the file type, the AppStream data and the manual pages; the package
    # test builds the Debian package and checks it with lintian.
    desktop-file-utils=desktop-file-validate shared-mime-info=update-mime-database
    appstream=appstreamcli man-db=man dpkg-dev=dpkg-buildpackage file=file lintian=lintian
    # Tests that stop pakunpack at a chosen system call with an injected signal.
    strace=strace
)
optional=()
for arg in "$@"; do
    case $arg in
        --optional) mode=optional ;;
        *) if [ "${mode:-}" = optional ]; then optional+=("$arg"); else required+=("$arg"); fi ;;
    esac
done

# PACKAGE=COMMAND,... split: each name stays in its list once, its commands
# gathered in $commands.
declare -A commands=()
split() {   # $1 the name of a list
    local -n list=$1
    local item name names=()
    for item in "${list[@]}"; do
        name=${item%%=*}
        [[ $item != *=* ]] || commands[$name]+=",${item#*=}"
        [[ " ${names[*]} " == *" $name "* ]] || names+=("$name")
    done
    list=("${names[@]}")
}
split required
split optional

# The first command of package $1 that isn't there, if any.
lacking() {
    local command list
    IFS=, read -ra list <<<"${commands[$1]:-}"
    for command in "${list[@]}"; do
        [ -n "$command" ] || continue
        case $command in
            /*) [ -x "$command" ] || { echo "$command"; return 0; } ;;
            *) command -v "$command" >/dev/null || { echo "$command"; return 0; } ;;
        esac
    done
    return 1
}

# Every required package's commands, after the install (or without one).
check_commands() {
    local pkg command failed=0
    hash -r
    for pkg in "${required[@]}"; do
        if command=$(lacking "$pkg"); then
            echo "deps: no command '$command', which package $pkg was expected to bring" >&2
            failed=1
        fi
    done
    return "$failed"
}

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed" && ! lacking "$1" >/dev/null; }

missing=() missing_optional=()
for pkg in "${required[@]}"; do installed "$pkg" || missing+=("$pkg"); done
mkdir -p "$state"
# An optional package that could not be installed in the last hour is not
# tried again: the set-up of one CI run asks for it in several scripts.
for pkg in "${optional[@]}"; do
    if installed "$pkg"; then
        rm -f "$state/missing-$pkg.txt"
    elif [ -n "$(find "$state/missing-$pkg.txt" -mmin -60 2>/dev/null)" ]; then
        echo "deps: optional $pkg not installed (tried within the hour): $(cat "$state/missing-$pkg.txt")"
    else
        missing_optional+=("$pkg")
    fi
done
if [ ${#missing[@]} -eq 0 ] && [ ${#missing_optional[@]} -eq 0 ]; then
    check_commands
    exit 0
fi

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
apt_get() { DEBIAN_FRONTEND=noninteractive $sudo apt-get "$@"; }

# Foreign architectures that the names ask for.
for pkg in "${missing[@]}" "${missing_optional[@]}"; do
    case $pkg in
        *:*) arch=${pkg##*:}
             dpkg --print-foreign-architectures | grep -qx "$arch" \
                 || [ "$(dpkg --print-architecture)" = "$arch" ] \
                 || $sudo dpkg --add-architecture "$arch" ;;
    esac
done

# apt-get update, up to three times. It counts as failed when it says so in
# its status or in an error line (a failed index is only a warning to some
# versions of apt).
updated=0
for try in 1 2 3; do
    if log=$(apt_get update -qq 2>&1) && ! grep -q '^E:' <<<"$log"; then
        updated=1
        break
    fi
    echo "deps: apt-get update, try $try of 3, failed: $(grep -m1 -E '^(E|W):' <<<"$log" || echo "status $?")"
    [ "$try" = 3 ] || sleep 5
done
[ "$updated" = 1 ] || echo "deps: going on with the package lists that were fetched"

# Installs the packages named; apt's output is kept in $install_log.
install() { install_log=$(apt_get install -y -qq --no-install-recommends "$@" 2>&1); }

# Apt's reason why package $1 can't be installed, on one line: the first unmet
# dependency that a trial run names, and the error of the trial or of the
# install that failed.
why_not() {
    local out depends error
    out=$(apt_get install -s --no-install-recommends "$1" 2>&1 || true)
    depends=$(grep -m1 -E 'Depends: ' <<<"$out" | sed -E 's/^ +//; s/ +/ /g' || true)
    error=$(grep -m1 '^E:' <<<"$out" || grep -m1 '^E:' <<<"$install_log" || true)
    echo "${depends:+$depends; }${error:-apt gave no reason}"
}

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    if ! install "${missing[@]}"; then
        failed=0
        for pkg in "${missing[@]}"; do
            installed "$pkg" && continue
            if ! install "$pkg"; then
                echo "deps: can't install $pkg: $(why_not "$pkg")" >&2
                failed=1
            fi
        done
        [ "$failed" = 0 ] || exit 1
    fi
fi

for pkg in "${missing_optional[@]}"; do
    echo "Installing (optional): $pkg"
    if install "$pkg" && ! command=$(hash -r; lacking "$pkg"); then
        rm -f "$state/missing-$pkg.txt"
    else
        if installed_anyway=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null) \
            && [[ $installed_anyway == *"install ok installed"* ]]; then
            reason="installed, but it brought no '$command'"
        else
            reason=$(why_not "$pkg")
        fi
        echo "$reason" >"$state/missing-$pkg.txt"
        echo "deps: optional $pkg not installed: $reason"
    fi
done
check_commands
