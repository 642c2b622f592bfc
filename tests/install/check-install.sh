#!/bin/sh
# Installs the build given into a temporary DESTDIR as a user's `cmake --install` would, checks the
# installed files with the desktop's own validators (each skipped when it is not installed), then
# removes what the install manifest lists and checks that no file is left behind.
# Usage: check-install.sh BUILD_DIR
set -eu
build=$1
prefix=/usr/local
dest=$(mktemp -d)
manifest="$build/install_manifest.txt"
# The test's install must not take the place of the manifest of the user's own install, which
# `make uninstall` reads.
saved=""
if [ -f "$manifest" ]; then
  saved=$(mktemp)
  cp "$manifest" "$saved"
fi
home=$(mktemp -d)
cleanup() {
  rm -rf "$dest" "$home"
  if [ -n "$saved" ]; then mv "$saved" "$manifest"; else rm -f "$manifest"; fi
}
trap cleanup EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR="$dest" cmake --install "$build" --prefix "$prefix" >/dev/null
root="$dest$prefix"

for file in bin/vor-nex bin/vor-nex-cli \
    share/applications/org.vornex.vornex.desktop share/metainfo/org.vornex.vornex.metainfo.xml \
    share/icons/hicolor/scalable/apps/vor-nex.svg share/man/man1/vor-nex-cli.1 \
    share/vor-nex/help/index.html; do
  [ -f "$root/$file" ] || fail "$file is not installed"
done
for size in 16 24 32 48 64 128 256; do
  png="$root/share/icons/hicolor/${size}x${size}/apps/vor-nex.png"
  [ -f "$png" ] || fail "the ${size} px icon is not installed"
  # A PNG's width and height are the big-endian words at bytes 16 and 20.
  dims=$(od -An -tu1 -j16 -N8 "$png" | awk '{ print $3 * 256 + $4 "x" $7 * 256 + $8 }')
  [ "$dims" = "${size}x${size}" ] || fail "the ${size} px icon is $dims"
done
[ -x "$root/bin/vor-nex" ] && [ -x "$root/bin/vor-nex-cli" ] || fail "the programs are not executable"
"$root/bin/vor-nex-cli" --help | grep -q '^usage:' || fail "the installed vor-nex-cli does not run"
# Every command but a quick find goes to the full tool under libexec; the catalogue it makes on
# first use is then searched by vor-nex-cli alone.
[ -x "$root/libexec/vor-nex/vor-nex-cli-full" ] || fail "the full command-line tool is not installed"
XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" "$root/bin/vor-nex-cli" volumes </dev/null ||
  fail "the installed vor-nex-cli does not hand over its commands"
status=0
XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" "$root/bin/vor-nex-cli" find '*' </dev/null || status=$?
[ "$status" = 1 ] || fail "a find in the new catalogue ended with $status, not 1 (nothing found)"

if command -v desktop-file-validate >/dev/null; then
  out=$(desktop-file-validate "$root/share/applications/org.vornex.vornex.desktop" 2>&1) || fail "$out"
  [ -z "$out" ] || fail "desktop-file-validate: $out"
  grep -q '^Categories=Utility;FileTools;$' "$root/share/applications/org.vornex.vornex.desktop" ||
    fail "the desktop entry's categories"
else
  echo "SKIP: desktop-file-validate is not installed"
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$root/share/metainfo/org.vornex.vornex.metainfo.xml" >/dev/null ||
    fail "appstreamcli validate: $(appstreamcli validate --no-net "$root/share/metainfo/org.vornex.vornex.metainfo.xml")"
else
  echo "SKIP: appstreamcli is not installed"
fi
if command -v man >/dev/null; then
  out=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$root/share/man/man1/vor-nex-cli.1" 2>&1 >/dev/null)
  [ -z "$out" ] || fail "man --warnings: $out"
  # Every option the tool's usage names has its place in the manual.
  for option in $("$root/bin/vor-nex-cli" --help | grep -o -- '--[a-z-]*' | sort -u); do
    grep -q -- "$(printf '%s' "$option" | sed 's/-/\\\\-/g')" "$root/share/man/man1/vor-nex-cli.1" ||
      fail "the manual page lacks $option"
  done
else
  echo "SKIP: man is not installed"
fi

# Uninstalling, as `make uninstall` does: nothing of the program stays. The manifest names the
# files without the DESTDIR they went to.
[ -f "$manifest" ] || fail "no install manifest"
sed "s|^|$dest|" "$manifest" | xargs -d '\n' rm -f
left=$(find "$dest" ! -type d)
[ -z "$left" ] || fail "left after uninstalling: $left"
echo "PASS"
