#!/usr/bin/env bash
# Writes SQLite's amalgamation (sqlite3.c, sqlite3.h) into DEST for the Windows build, made from
# Debian's own sqlite3 source package with Debian's patches applied. The source comes from the
# Debian archive the machine already uses, through a private package list, so the machine's apt
# configuration is left as it is. Does nothing when DEST already holds the amalgamation.
set -euo pipefail

dest=${1:?usage: sqlite-source.sh DEST}
if [ -s "$dest/sqlite3.c" ] && [ -s "$dest/sqlite3.h" ]; then
  exit 0
fi
mkdir -p "$dest"
dest=$(cd "$dest" && pwd)
work="$dest/work"
rm -rf "$work"
mkdir -p "$work/lists/partial" "$work/cache/archives/partial" "$work/source" "$work/build"

suite=$(. /etc/os-release && echo "${VERSION_CODENAME:?no Debian release name in /etc/os-release}")
echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian $suite main" \
  >"$work/sources.list"
apt_options=(-o "Dir::Etc::SourceList=$work/sources.list" -o Dir::Etc::SourceParts=/dev/null
  -o "Dir::State::Lists=$work/lists" -o "Dir::Cache=$work/cache" -o APT::Sandbox::User=root)

echo "sqlite-source: fetching Debian's sqlite3 source package ($suite)"
apt-get "${apt_options[@]}" -qq update
(cd "$work/source" && apt-get "${apt_options[@]}" -qq source --download-only sqlite3)
# apt checked every file against the hashes of the archive's signed package list; dpkg-source
# checks them against the .dsc and applies Debian's patches. (Its own check of the .dsc signature
# warns without Debian's keyring, which apt's check makes unnecessary.)
dsc=$(ls "$work/source"/sqlite3_*.dsc)
if ! (cd "$work/source" && dpkg-source -x "$dsc" tree >"$work/dpkg-source.log" 2>&1); then
  cat "$work/dpkg-source.log" >&2
  exit 1
fi

echo "sqlite-source: making the amalgamation"
(cd "$work/build" && "$work/source/tree/configure" --quiet >/dev/null && make -s sqlite3.c >/dev/null)
cp "$work/build/sqlite3.c" "$work/build/sqlite3.h" "$dest/"
cp "$work/source/tree/VERSION" "$dest/VERSION"
rm -rf "$work"
echo "sqlite-source: SQLite $(cat "$dest/VERSION") in $dest"
