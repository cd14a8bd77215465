#!/usr/bin/env bash
# Runs a Windows program under wine, quietly, with a wine prefix of the build's own.
# RIZEROZ_WINE names the loader: `wine` (the default) picks the 32-bit one whenever wine32
# is installed; /usr/lib/wine/wine64 runs 64-bit programs where wine32 is installed but
# cannot run.
set -euo pipefail
export WINEDEBUG=${WINEDEBUG:--all}
export WINEPREFIX=${WINEPREFIX:-${RIZEROZ_WINEPREFIX:-$HOME/.wine-rizeroz}}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
WINE=${RIZEROZ_WINE:-wine}
# A loader named by its path is the one wine starts again for the programs it starts.
case "$WINE" in /*) export WINELOADER=${WINELOADER:-$WINE} ;; esac
exec "$WINE" "$@"
