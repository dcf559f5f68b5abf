#!/usr/bin/env bash
# Remakes the image files the loading tests read, with the tools that wrote them (binutils:
# as, ld, objcopy). Run from this folder; the files are committed, the tests do not run this.
set -euo pipefail
as --32 -o relocatable.o ld32.s
ld -m elf_i386 -N -T ld32.ld -o ld32.elf relocatable.o 2>/dev/null
objcopy -O elf64-x86-64 ld32.elf ld64.elf
objcopy -O ihex ld32.elf ld32.elf.hex
