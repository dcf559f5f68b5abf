#!/usr/bin/env bash
# Remakes the image files the loading tests read, with the tools that wrote them: srec_cat
# (srecord) and as, ld and objcopy (binutils). Run from this folder; the files are committed,
# the tests do not run this. The data: 256 bytes at 0x4000 and 512 bytes across 64 KB at 0xFF00.
#   fxload-a3load.hex is /usr/share/usb/a3load.hex of the Debian package fxload, as shipped.
set -euo pipefail
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
python3 -c "
open('$tmp/low.bin','wb').write(bytes((i*37+11)&0xFF for i in range(0x100)))
open('$tmp/cross.bin','wb').write(bytes((i*101+7)&0xFF for i in range(0x200)))"
both="srec_cat $tmp/low.bin -binary -offset 0x4000 $tmp/cross.bin -binary -offset 0xFF00"
$both -o srec-obs16.hex -intel -obs=16                  # linear address records (04)
$both -o srec-obs32.hex -intel -obs=32
$both -o srec-obs255.hex -intel -obs=255
$both -o srec-segment.hex -intel -address-length=3 -obs=32   # segment address records (02)
$both -execution-start-address 0x4000 -o srec-start.hex -intel -obs=32   # start linear (05)
srec_cat $tmp/low.bin -binary -offset 0x4000 -header "interop set" -o srec.s19 -motorola -address-length=2
$both -header "interop set" -o srec.s28 -motorola -address-length=3 -obs=32
$both -header "interop set" -o srec.s37 -motorola -address-length=4 -obs=250
objcopy -I binary -O ihex --change-addresses 0xFF00 $tmp/cross.bin objcopy.hex
objcopy -I binary -O srec --change-addresses 0xFF00 $tmp/cross.bin objcopy.srec
objcopy -I binary -O srec --srec-forceS3 --change-addresses 0xFF00 $tmp/cross.bin objcopy-s3.srec
objcopy -I binary -O ihex --change-addresses 0x4000 $tmp/low.bin objcopy.ihx
# An ELF file as ld links it: code at 0x4000, data stored at 0x4100 and run from RAM.
as --32 -o relocatable.o ld32.s
ld -m elf_i386 -N -T ld32.ld -o ld32.elf relocatable.o 2>/dev/null
objcopy -O elf64-x86-64 ld32.elf ld64.elf
objcopy -O ihex ld32.elf ld32.elf.hex                   # start segment address record (03)
