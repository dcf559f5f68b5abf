#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when they are missing.
# fonts-wqy-microhei has the glyphs of the window's Chinese texts (the second-copy message,
# the About texts); without it they show as empty boxes. dpkg-dev and file find the libraries
# the Debian package depends on (scripts/package.sh); desktop-file-utils checks its desktop entry,
# lintian both packages; bash-completion runs the completion of lumacrest-cli in the package check.
# libsqlite3-dev holds the serial-number ledger; sqlite3 reads it in the tests.
# libelf-dev reads ELF images; binutils (as, ld, objcopy) made the test images and checks them.
set -euo pipefail
packages=(cmake ninja-build g++ pkg-config libgtest-dev qt6-base-dev qt6-svg-dev
          libgl-dev xvfb xauth socat srecord libgcrypt20-dev clang-14 libfuzzer-14-dev
          fonts-dejavu-core fonts-wqy-microhei tmux dpkg-dev file desktop-file-utils lintian
          bash-completion libsqlite3-dev sqlite3 libelf-dev binutils)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}"
fi
