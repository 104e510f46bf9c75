#!/bin/sh
# Runs a Windows test program with drive X: of the test prefix backed by a private copy of the
# sample card, and puts the prefix's own test card back afterwards, whatever happens:
#   on_sample_card.sh SAMPLE_CARD_DIR PROGRAM [ARGS...]
# SAMPLE_CARD_DIR holds card.img and originals/ (tools/make_sample_card.sh). The program learns
# the copy's path from TESSERA_CARD_IMAGE (it may change it) and the files put on the card from
# TESSERA_CARD_ORIGINALS. Wine resolves the drive's links at every open, so a running
# wineserver sees the swap; the test holds the wine_drive_x lock meanwhile.
set -eu
here=$(cd "$(dirname "$0")/../.." && pwd)
sample=$(cd "${1:?usage: on_sample_card.sh SAMPLE_CARD_DIR PROGRAM [ARGS...]}" && pwd)
shift
: "${WINEPREFIX:?}"
devices="$WINEPREFIX/dosdevices"
test_card=$(cd "$WINEPREFIX/../test-card" && pwd)
work=$(mktemp -d)
restore() {
    ln -sfn "$test_card/root" "$devices/x:"
    ln -sfn "$test_card/card.img" "$devices/x::"
    rm -rf "$work"
}
trap restore EXIT
trap 'exit 130' INT TERM
cp "$sample/card.img" "$work/card.img"
mkdir "$work/root"
ln -sfn "$work/root" "$devices/x:"
ln -sfn "$work/card.img" "$devices/x::"
TESSERA_CARD_IMAGE="$work/card.img" TESSERA_CARD_ORIGINALS="$sample/originals" \
    "$here/tools/wine_exec.sh" "$@"
