# shellcheck shell=bash
# The folder outside every clone where this machine keeps what the builds and
# checks make once and share: the static libraries (static-deps/), the
# compiler cache (ccache/), the clean Debian root (portable-root/).
# QH_CACHE moves it. Sourced; it sets qh_cache_root.
qh_cache_root=${QH_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quillharbor}
