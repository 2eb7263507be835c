#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR and checks what a desktop and a user find there:
# the programs with their list file, the desktop entry and its icon, and that the installed
# programs run from there on the installed demo image, while a lone copy names no image of ours.
set -euo pipefail

build=$1
dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT
fail() { echo "install-layout: $*" >&2; exit 1; }

DESTDIR="$dest" cmake --install "$build" --prefix /usr >/dev/null
root="$dest/usr"

for program in quillon quillon-cli; do
  [ -x "$root/bin/$program" ] || fail "bin/$program is missing or not executable"
done
for file in bin/Quillon.ieldat share/applications/quillon.desktop \
            share/icons/hicolor/48x48/apps/quillon.png share/icons/hicolor/256x256/apps/quillon.png \
            share/quillon/demo-image/Windows/System32/config/SOFTWARE; do
  [ -f "$root/$file" ] || fail "$file is missing"
done

# The desktop entry starts an installed program and names an installed icon.
desktop="$root/share/applications/quillon.desktop"
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
icon_name=$(sed -n 's/^Icon=//p' "$desktop")
[ -x "$root/bin/$exec_name" ] || fail "Exec=$exec_name is not an installed program"
[ -f "$root/share/icons/hicolor/48x48/apps/$icon_name.png" ] || fail "Icon=$icon_name is not installed"

version=$("$root/bin/quillon-cli" --version)
[[ "$version" =~ ^Quillon\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "quillon-cli --version said '$version'"
gui_version=$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/bin/quillon" --version)
[ "$gui_version" = "$version" ] || fail "quillon --version said '$gui_version'"

# Without --image the installed program reads the installed demo image, and the list file beside
# it: alice's Internet Explorer start pages are found only through the list file's locations.
"$root/bin/quillon-cli" profiles >"$dest/profiles" 2>"$dest/err" || fail "profiles failed: $(cat "$dest/err")"
[ ! -s "$dest/err" ] || fail "profiles warned: $(cat "$dest/err")"
grep -q '^0	alice	Internet Explorer' "$dest/profiles" || fail "the installed demo image shows no IE profile of alice"
pages=$("$root/bin/quillon-cli" show 0 pages | wc -l)
[ "$pages" -gt 1 ] || fail "no start pages: the installed list file was not read"

# A copy of the program far from any demo image says so instead of reading one.
mkdir "$dest/lone"
cp "$root/bin/quillon-cli" "$dest/lone/"
if "$dest/lone/quillon-cli" profiles >/dev/null 2>"$dest/err"; then
  fail "a lone copy listed profiles without --image"
fi
grep -q 'no demo image' "$dest/err" || fail "a lone copy said: $(cat "$dest/err")"
echo "install-layout: ok"
