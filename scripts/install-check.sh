#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR and checks what a desktop and a user get from it: the
# desktop entry and the AppStream metadata validate, the man pages render without warnings, and
# both programs, started from a folder without a chip list and with a home of their own, find the
# installed one. Then builds the Debian package and checks its contents and dependencies.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
build=build
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j"$(nproc)"

stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
fail() {
    echo "install check: $*" >&2
    exit 1
}

DESTDIR="$stage/root" cmake --install "$build" --prefix /usr > /dev/null
usr="$stage/root/usr"
id=example.korvane.SpiFlash
for file in bin/KorvaneSpiFlash bin/korvane-spi share/korvane-spiflash/ChipListData.dat \
    "share/applications/$id.desktop" "share/metainfo/$id.metainfo.xml" \
    "share/icons/hicolor/48x48/apps/$id.png" "share/icons/hicolor/256x256/apps/$id.png" \
    share/man/man1/korvane-spi.1.gz share/man/man1/KorvaneSpiFlash.1.gz; do
    [ -f "$usr/$file" ] || fail "/usr/$file was not installed"
done
for file in lib/udev/rules.d/60-korvane-spiflash.rules include/korvane/adapterplugin.h; do
    [ -f "$usr/$file" ] || fail "/usr/$file was not installed"
done

desktop-file-validate "$usr/share/applications/$id.desktop"
appstreamcli validate --no-net "$usr/share/metainfo/$id.metainfo.xml"
for page in "$usr"/share/man/man1/*.1.gz; do
    warnings="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 > /dev/null)"
    [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
    LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page" | grep -q "^NAME" || fail "$(basename "$page") does not render"
done

# Started the way a desktop starts them: elsewhere, with a home that has no chip list and no settings.
export HOME="$stage/home" XDG_CONFIG_HOME="$stage/home/.config" XDG_DATA_HOME="$stage/home/.local/share"
export XDG_DATA_DIRS="$stage/none"
mkdir -p "$stage/elsewhere" "$HOME"
cd "$stage/elsewhere"
"$usr/bin/korvane-spi" --version
"$usr/bin/korvane-spi" chips W25Q128 | grep -q W25Q128 || fail "korvane-spi does not find the installed chip list"
set +e
QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES="korvane.chiplist.info=true" timeout 5 "$usr/bin/KorvaneSpiFlash" \
    > "$stage/window.log" 2>&1
status=$?
set -e
cat "$stage/window.log"
[ "$status" -eq 124 ] || fail "KorvaneSpiFlash ended with status $status instead of running"
grep -q "chip list $usr/share/korvane-spiflash/ChipListData.dat: [1-9][0-9]* records" "$stage/window.log" ||
    fail "KorvaneSpiFlash did not read the installed chip list"
cd - > /dev/null

# The Debian package holds the same files and depends on the Qt libraries it links.
(cd "$build" && cpack -G DEB > /dev/null)
deb="$(ls -t "$build"/korvane-spiflash_*.deb | head -1)"
dpkg-deb --contents "$deb" > "$stage/contents"
for file in ./usr/bin/KorvaneSpiFlash ./usr/bin/korvane-spi ./usr/share/korvane-spiflash/ChipListData.dat \
    "./usr/share/applications/$id.desktop" "./usr/share/metainfo/$id.metainfo.xml"; do
    grep -q " $file\$" "$stage/contents" || fail "$file is not in $deb"
done
depends="$(dpkg-deb --field "$deb" Depends)"
echo "$(basename "$deb"): Depends: $depends"
for library in libqt5widgets5 libqt5core5a libc6; do
    [[ "$depends" == *"$library"* ]] || fail "$deb does not depend on $library"
done
echo "install check: passed"
