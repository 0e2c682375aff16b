#!/usr/bin/env bash
# The installed desktop integration: `cmake --install` into a scratch prefix puts both
# programs, the menu entry, the icons and the MIME types where a Linux desktop looks, and
# the menu entry and MIME file pass the desktop's own validators.
#
#   DesktopFiles.sh BUILD_DIR WORK_DIR
#
# Exit status 77 (skipped) without desktop-file-validate or xmllint.
set -uo pipefail
build=$1 work=$2
for tool in desktop-file-validate xmllint; do
  command -v $tool >/dev/null || { echo "SKIPPED: $tool is not installed"; exit 77; }
done
rm -rf "$work" && mkdir -p "$work"
cmake --install "$build" --prefix "$work/usr" >"$work/install.log" 2>&1 ||
  { cat "$work/install.log"; exit 1; }
status=0
for f in bin/vantrel bin/vantrel-run share/applications/vantrel.desktop \
  share/icons/hicolor/scalable/apps/vantrel.svg share/icons/hicolor/256x256/apps/vantrel.png \
  share/mime/packages/vantrel.xml; do
  [[ -f $work/usr/$f ]] || { echo "not installed: $f"; status=1; }
done
desktop-file-validate "$work/usr/share/applications/vantrel.desktop" || status=1
xmllint --noout "$work/usr/share/mime/packages/vantrel.xml" "$work/usr/share/icons/hicolor/scalable/apps/vantrel.svg" || status=1
# Every type the menu entry claims is defined by the MIME file.
for type in $(sed -n 's/^MimeType=//p' "$work/usr/share/applications/vantrel.desktop" | tr ';' ' '); do
  grep -q "type=\"$type\"" "$work/usr/share/mime/packages/vantrel.xml" ||
    { echo "MIME type $type is not defined"; status=1; }
done
exit $status
