#!/usr/bin/env bash
# Runs a 32-bit x86 Linux program under qemu-i386 user emulation, on the processor model
# RIZEROZ_QEMU_CPU names (qemu's default when unset; `qemu-i386 -cpu help` lists them).
set -euo pipefail
cpu=()
[ -z "${RIZEROZ_QEMU_CPU:-}" ] || cpu=(-cpu "$RIZEROZ_QEMU_CPU")
exec qemu-i386 "${cpu[@]}" "$@"
