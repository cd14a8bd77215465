#!/usr/bin/env bash
# Runs a Windows program under wine, quietly, with a wine prefix of the build's own.
set -euo pipefail
export WINEDEBUG=${WINEDEBUG:--all}
export WINEPREFIX=${WINEPREFIX:-${RIZEROZ_WINEPREFIX:-$HOME/.wine-rizeroz}}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
WINE=${RIZEROZ_WINE:-wine}
exec "$WINE" "$@"
