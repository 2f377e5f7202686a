#!/usr/bin/env bash
# The web player's page: page.html with the program's WebAssembly and its
# script, each gzip-compressed and in Base64, in place of the line that says
# <!--quillharbor:program-->; the page inflates and starts them itself.
# Compressed, the player takes about a third of the room plain Base64 takes.
#
#   make_page.sh PAGE PROGRAM.wasm SCRIPT.js OUT
set -euo pipefail
page=$1 wasm=$2 script=$3 out=$4
mark='<!--quillharbor:program-->'
grep -qxF "$mark" "$page" || { echo "make_page.sh: $page has no line $mark" >&2; exit 1; }
element() {  # id, file
  printf '<script type="application/octet-stream" id="%s">' "$1"
  gzip -9 -n -c "$2" | base64 -w0
  printf '</script>\n'
}
{
  sed "/^$mark\$/,\$d" "$page"
  element quillharbor-program "$wasm"
  element quillharbor-script "$script"
  sed "1,/^$mark\$/d" "$page"
} >"$out.part"
mv "$out.part" "$out"
