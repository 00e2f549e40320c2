#!/usr/bin/env bash
# Checks the installed form of a built tree (${BUILD_DIR:-build}):
#   1. cmake --install into a scratch prefix;
#   2. the desktop entry, the file types, the icon, the interface XML and the activation
#      files are valid, and the activation files start the installed program;
#   3. libkerdal32.so and the client library export their interface and nothing else;
#   4. the example client builds against the prefix through find_package and pkg-config,
#      and runs with the prefix's libraries;
#   5. tolvanctl of the prefix drives the server of the prefix, started by a private bus
#      from the installed activation files;
#   6. cpack -G DEB builds a package that installs and removes cleanly (as root, and only
#      when CI is set or with --dpkg: it changes /usr).
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
build=$(cd "${BUILD_DIR:-build}" && pwd)
dpkg_too=${CI:-}
[ "${1:-}" = "--dpkg" ] && dpkg_too=1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
fail() { echo "check-install: $*" >&2; exit 1; }
step() { echo "==== check-install: $*"; }

step "install into $prefix"
cmake --install "$build" --prefix "$prefix" >"$work/install.log"
for f in bin/tolvan32 bin/tolvanctl share/man/man1/tolvan32.1 share/man/man1/tolvanctl.1 \
         share/applications/tolvan32.desktop share/icons/hicolor/scalable/apps/tolvan32.svg \
         share/mime/packages/tolvan32.xml share/bash-completion/completions/tolvanctl \
         lib/udev/rules.d/70-tolvan32-modemmanager.rules \
         share/dbus-1/interfaces/RiVo32.Document.xml include/tolvan32/kerdal32.h \
         include/tolvan32/client.h; do
  [ -e "$prefix/$f" ] || fail "$f is not installed"
done

step "desktop entry, file types, icon, interfaces, activation files"
desktop-file-validate "$prefix/share/applications/tolvan32.desktop"
xmllint --noout "$prefix"/share/mime/packages/tolvan32.xml "$prefix"/share/icons/hicolor/scalable/apps/tolvan32.svg \
  "$prefix"/share/dbus-1/interfaces/*.xml
# The mime database compiler reads the types as the desktop will.
mkdir -p "$work/mime/packages"
cp "$prefix/share/mime/packages/tolvan32.xml" "$work/mime/packages/"
XDG_DATA_DIRS=$work update-mime-database "$work/mime" 2>"$work/mime.log"
[ -s "$work/mime.log" ] && { cat "$work/mime.log"; fail "the file types do not compile cleanly"; }
for ext in ccf mcf icf lst; do
  grep -q "application/x-tolvan32-.*:\*\.$ext$" "$work/mime/globs2" || fail "*.$ext has no type"
done
grep -q '^MimeType=.*application/x-tolvan32-channel;' "$prefix/share/applications/tolvan32.desktop" ||
  fail "the desktop entry does not open channel files"
for name in RiVo32.Document DaRi32.Document ViDA.Document; do
  svc=$prefix/share/dbus-1/services/$name.service
  [ "$(sed -n 1p "$svc")" = "[D-BUS Service]" ] || fail "$svc: no [D-BUS Service] group"
  grep -qx "Name=$name" "$svc" || fail "$svc: Name is not $name"
  grep -qx "Exec=$prefix/bin/tolvan32 -Automation" "$svc" || fail "$svc: Exec is not the installed program"
done
bash -n "$prefix/share/bash-completion/completions/tolvanctl"
# The completion offers the verbs.
words=$(bash -c 'source "$1"; COMP_WORDS=(tolvanctl re); COMP_CWORD=1; _tolvanctl; echo "${COMPREPLY[*]}"' _ \
        "$prefix/share/bash-completion/completions/tolvanctl")
[ "$words" = "receive" ] || fail "bash completion of 're' gave '$words'"
MANWIDTH=80 man -l "$prefix/share/man/man1/tolvanctl.1" >/dev/null 2>"$work/man.log" || true
[ -s "$work/man.log" ] && { cat "$work/man.log"; fail "tolvanctl(1) does not format cleanly"; }

step "exported symbols"
"$src/scripts/check-exports.sh" "$prefix/lib"

step "the example against the prefix: find_package and pkg-config"
mkdir -p "$work/example"
cp "$src"/examples/*.cpp "$work/example/"
cat >"$work/example/CMakeLists.txt" <<'EOF'
cmake_minimum_required(VERSION 3.25)
project(tolvan32_example LANGUAGES CXX)
find_package(Tolvan32 REQUIRED)
add_executable(setup_comm_port setup_comm_port.cpp)
target_link_libraries(setup_comm_port PRIVATE Tolvan32::kerdal32 Tolvan32::client)
EOF
cmake -S "$work/example" -B "$work/example/build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/example/build" >/dev/null
pcdir=$(dirname "$(find "$prefix" -name kerdal32.pc | head -1)")
# shellcheck disable=SC2046
c++ -o "$work/example/by_pkg_config" "$work/example/setup_comm_port.cpp" \
    $(PKG_CONFIG_PATH="$pcdir" pkg-config --cflags --libs kerdal32 tolvan32-client)
for exe in "$work/example/build/setup_comm_port" "$work/example/by_pkg_config"; do
  # Runs far enough to find the libraries and fail to reach a server on an empty bus.
  out=$(DBUS_SESSION_BUS_ADDRESS=unix:path=$work/nobus QT_QPA_PLATFORM=offscreen \
        LD_LIBRARY_PATH=$(dirname "$(find "$prefix" -name 'libkerdal32.so' | head -1)") "$exe" 2>&1) && \
    fail "$exe ran without a server"
  echo "$out" | grep -q "No channel from the server" || fail "$exe: $out"
done

step "tolvanctl of the prefix against the server of the prefix"
TOLVANCTL=$prefix/bin/tolvanctl TOLVAN_SERVICES=$prefix/share/dbus-1/services \
  /usr/bin/python3 "$src/tests/tolvanctl/tolvanctl_test.py"

if [ -z "$dpkg_too" ]; then
  echo "check-install: the Debian package is checked on CI only (or with --dpkg)"
  exit 0
fi
step "cpack -G DEB, dpkg -i, dpkg -r"
[ "$(id -u)" -eq 0 ] || fail "installing the package needs root"
(cd "$build" && cpack -G DEB -B "$work/deb" >"$work/cpack.log") || { cat "$work/cpack.log"; fail "cpack failed"; }
deb=$(ls "$work"/deb/*.deb)
dpkg-deb -f "$deb" Package Version Depends
installed() { dpkg-query -W -f='${Status}' tolvan32 2>/dev/null | grep -q ' installed$'; }
installed && fail "a tolvan32 package is installed already; remove it first"
dpkg -i "$deb" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg -i failed"; }
trap 'dpkg -P tolvan32 >/dev/null 2>&1; rm -rf "$work"' EXIT
for f in /usr/bin/tolvan32 /usr/bin/tolvanctl /usr/share/dbus-1/services/RiVo32.Document.service; do
  [ -e "$f" ] || fail "$f is not in the package"
done
ldd /usr/bin/tolvan32 | grep -q "not found" && fail "the installed server misses a library"
/usr/bin/tolvanctl ports --help >/dev/null
# The example against the package, found where the system looks by itself.
rm -rf "$work/example/build"
cmake -S "$work/example" -B "$work/example/build" -G Ninja >/dev/null
cmake --build "$work/example/build" >/dev/null
# shellcheck disable=SC2046
c++ -o "$work/example/by_pkg_config" "$work/example/setup_comm_port.cpp" \
    $(pkg-config --cflags --libs kerdal32 tolvan32-client)
ldd "$work/example/by_pkg_config" | grep -Eq "libkerdal32.so.0 => (/usr)?/lib/" || { ldd "$work/example/by_pkg_config"; fail "the example does not use the package's library"; }
dpkg -r tolvan32 >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg -r failed"; }
left=$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\.||' | grep -v '/$' | while read -r f; do
  [ -e "$f" ] && echo "$f"; done || true)
[ -z "$left" ] || fail "left behind after dpkg -r: $left"
installed && fail "dpkg -r left the package installed"
dpkg -P tolvan32 >/dev/null
echo "check-install: the package installs and removes cleanly"
