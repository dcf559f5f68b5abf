#!/usr/bin/env bash
# The two Debian packages as a packager and a user get them:
# - their control fields, lintian (no error, no warning), what installing each on a system
#   with nothing installed would pull (the headless lumacrest-cli no Qt GUI library), the
#   hardening of the programs;
# - their contents unpacked into a temporary root (the programs, the data files and their
#   sums, the desktop entry, the icon, the manual pages, the bash completion, the copyright
#   and changelog files), --help and --version of the three programs without a display;
# - the unpacked lumacrest-cli with a temporary HOME: the user's program directory, --dir on an
#   empty folder, a changed and an unchanged data file after an upgrade, `ports`;
# - dpkg installing them into a scratch root: lumacrest-cli alone, and over the single
#   lumacrest 3.0 package of before (/var/lib/lumacrest root:dialout 2775, every file there,
#   every file of the pair); tests/package/check_ledger.sh ROOT when it is there;
# - in the installed root: the README's walkthrough and the manual pages' examples against
#   lumacrest-sim (walkthrough.sh, check_examples.sh).
# Usage: check_package.sh lumacrest-cli_VERSION_ARCH.deb lumacrest_VERSION_ARCH.deb
set -uo pipefail
src="$(cd "$(dirname "$0")/../.." && pwd)"
work="$(mktemp -d)"
# The operators of check_ledger.sh (other uids) must reach the scratch roots below it.
chmod 755 "$work"
trap 'rm -rf "$work"' EXIT
passed=0 failed=0
check() {  # check NAME CONDITION...
  local name="$1"; shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $name"; return 1; fi
}
has() { grep "$@"; }

cli_deb="" gui_deb=""
for deb in "$@"; do
  case "$(dpkg-deb -f "$deb" Package)" in
    lumacrest-cli) cli_deb="$(realpath "$deb")" ;;
    lumacrest) gui_deb="$(realpath "$deb")" ;;
  esac
done
if [[ -z "$cli_deb" || -z "$gui_deb" ]]; then
  echo "usage: check_package.sh lumacrest-cli_*.deb lumacrest_*.deb" >&2
  exit 2
fi
version="$(dpkg-deb -f "$cli_deb" Version)"
gui_libs='^(libqt6(gui|widgets|svg|opengl|openglwidgets|xcbqpa|waylandclient|printsupport)[0-9]*|qt6-qpa-plugins|qt6-gtk-platformtheme|libgl1|libx11-6|libxcb1|fonts-wqy-microhei)$'

# ---- control fields ------------------------------------------------------------------------
cli_depends="$(dpkg-deb -f "$cli_deb" Depends)"
gui_depends="$(dpkg-deb -f "$gui_deb" Depends)"
echo "lumacrest-cli Depends: $cli_depends"
echo "lumacrest Depends: $gui_depends"
names() { tr ',|' '\n\n' | sed 's/(.*//; s/ //g' | grep -v '^$'; }
for p in libqt6core6 libc6; do
  check "lumacrest-cli depends on $p" has -qx "$p" <(names <<< "$cli_depends")
done
check "lumacrest-cli depends on no Qt GUI library" \
  test -z "$(names <<< "$cli_depends" | grep -E "$gui_libs")"
for p in libqt6widgets6 libqt6gui6 libqt6svg6 fonts-wqy-microhei; do
  check "lumacrest depends on $p" has -qx "$p" <(names <<< "$gui_depends")
done
check "lumacrest depends on lumacrest-cli $version" has -qF "lumacrest-cli (= $version)" <<< "$gui_depends"
check "nothing depends on qt6-qpa-plugins" test -z "$(names <<< "$cli_depends, $gui_depends" | grep -x qt6-qpa-plugins)"
for field in Breaks Replaces; do
  check "lumacrest-cli $field lumacrest (<< $version)" \
    test "$(dpkg-deb -f "$cli_deb" "$field")" = "lumacrest (<< $version)"
done
check "same version" test "$(dpkg-deb -f "$gui_deb" Version)" = "$version"

# ---- lintian -------------------------------------------------------------------------------
lintian --fail-on error,warning --tag-display-limit 0 "$cli_deb" "$gui_deb" > "$work/lintian.txt" 2>&1
lintian_status=$?
cat "$work/lintian.txt"
check "lintian: no error, no warning" test "$lintian_status" -eq 0

# ---- what installing each package pulls onto a system with nothing installed -------------
: > "$work/empty-status"
pulled() {  # pulled DEB...: the packages apt would install
  apt-get -s -o Dir::State::status="$work/empty-status" -o Debug::NoLocking=1 install "$@" 2>&1 |
    sed -n 's/^Inst \([^ ]*\) .*/\1/p' | sort
}
pulled "$cli_deb" > "$work/pulled-cli.txt"
pulled "$cli_deb" "$gui_deb" > "$work/pulled-both.txt"
comm -13 "$work/pulled-cli.txt" "$work/pulled-both.txt" > "$work/pulled-gui.txt"
echo "Installing lumacrest-cli alone pulls $(wc -l < "$work/pulled-cli.txt") packages:" \
     "$(tr '\n' ' ' < "$work/pulled-cli.txt")"
echo "lumacrest pulls $(wc -l < "$work/pulled-gui.txt") more, among them" \
     "$(grep -E "$gui_libs" "$work/pulled-gui.txt" | tr '\n' ' ')"
check "apt can install lumacrest-cli alone" has -qx lumacrest-cli "$work/pulled-cli.txt"
check "apt can install both" has -qx lumacrest "$work/pulled-both.txt"
check "lumacrest-cli alone pulls no Qt GUI library" \
  test -z "$(grep -E "$gui_libs" "$work/pulled-cli.txt")"
grep -E "$gui_libs" "$work/pulled-cli.txt"

# ---- contents ------------------------------------------------------------------------------
root="$work/root"
dpkg-deb -x "$cli_deb" "$root"
dpkg-deb -x "$gui_deb" "$root"
in_deb() { dpkg-deb -c "$1" | awk '{print $6}' | sed 's#^\./#/#' | grep -qx "$2"; }
for f in /usr/bin/lumacrest-cli /usr/bin/lumacrest-sim /usr/share/lumacrest/Ports.dat \
         /usr/share/lumacrest/DataFiles.sha256 /usr/share/bash-completion/completions/lumacrest-cli \
         /usr/share/man/man1/lumacrest-cli.1.gz /usr/share/man/man1/lumacrest-sim.1.gz \
         /usr/share/doc/lumacrest-cli/copyright /usr/share/doc/lumacrest-cli/changelog.Debian.gz; do
  check "lumacrest-cli has $f" in_deb "$cli_deb" "$f"
done
for f in /usr/bin/lumacrest /usr/share/applications/lumacrest.desktop \
         /usr/share/icons/hicolor/scalable/apps/lumacrest.svg /usr/share/man/man1/lumacrest.1.gz \
         /usr/share/doc/lumacrest/copyright /usr/share/doc/lumacrest/changelog.Debian.gz; do
  check "lumacrest has $f" in_deb "$gui_deb" "$f"
done
check "the window is only in lumacrest" bash -c "! dpkg-deb -c '$cli_deb' | grep -q 'usr/bin/lumacrest\$'"
for f in "$src"/res/*.dat "$src"/res/*.cfg; do
  check "$(basename "$f") in usr/share/lumacrest" cmp -s "$f" "$root/usr/share/lumacrest/$(basename "$f")"
done
check "the shipped data files' sums are listed" \
  bash -c "cd '$root/usr/share/lumacrest' && sha256sum Ports.dat *.cfg | grep -Fxf - DataFiles.sha256 | wc -l | grep -qx \$(ls Ports.dat *.cfg | wc -l)"
check "copyright is machine-readable" has -qx \
  "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" "$root/usr/share/doc/lumacrest-cli/copyright"
check "the changelog's version is the package's" \
  test "$(gzip -dc "$root/usr/share/doc/lumacrest/changelog.Debian.gz" | head -1 | sed 's/.*(\(.*\)).*/\1/')" = "$version"
desktop="$root/usr/share/applications/lumacrest.desktop"
check "desktop entry" has -qx "Exec=lumacrest" "$desktop"
check "desktop entry's icon" has -qx "Icon=lumacrest" "$desktop"
check "desktop entry valid" desktop-file-validate "$desktop"
check "icon" cmp -s "$src/res/icons/app-128.svg" "$root/usr/share/icons/hicolor/scalable/apps/lumacrest.svg"

# ---- hardening: what dpkg-buildflags gives, seen on the binaries ------------------------
for program in lumacrest lumacrest-cli lumacrest-sim; do
  bin="$root/usr/bin/$program"
  check "$program is position-independent" has -q "Type: *DYN" <(readelf -h "$bin")
  check "$program has read-only relocations" has -q "GNU_RELRO" <(readelf -lW "$bin")
  check "$program binds at start (now)" has -qE "BIND_NOW|FLAGS_1.*NOW" <(readelf -dW "$bin")
  check "$program has the stack protector" has -q "__stack_chk_fail" <(readelf --dyn-syms -W "$bin")
  check "$program has fortified functions" has -qE "__[a-z]+_chk(@|$| )" <(readelf --dyn-syms -W "$bin")
done

# ---- --help and --version of the three programs, without a display ------------------------
nodisplay() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME="$work/nohome" "$@"; }
upstream="${version%-*}"
for program in lumacrest lumacrest-cli lumacrest-sim; do
  nodisplay "$root/usr/bin/$program" --help > "$work/help.txt" 2>&1
  check "$program --help exits 0" test $? -eq 0
  check "$program --help prints a usage" has -qi "usage: $program" "$work/help.txt"
  check "$program --version" test "$(nodisplay "$root/usr/bin/$program" --version 2>&1)" = "$program $upstream"
  man="$root/usr/share/man/man1/$program.1.gz"
  check "manual page of $program" test -s "$man"
  # Every option the program lists is in its manual page.
  for option in $(grep -o -- '--[a-z][a-z-]*' "$work/help.txt" | sort -u); do
    check "$program(1) names $option" has -q -- "${option//-/\\\\-}" <(gzip -dc "$man")
  done
done

# ---- bash completion -----------------------------------------------------------------------
completion="$root/usr/share/bash-completion/completions/lumacrest-cli"
complete_words() {  # complete_words WORD...: what completing the last word offers
  bash -c 'source /usr/share/bash-completion/bash_completion; source "$1"; shift
           COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
           cd "'"$work"'" && _lumacrest_cli lumacrest-cli "${COMP_WORDS[-1]}" "${COMP_WORDS[-2]}"
           printf "%s\n" "${COMPREPLY[@]}"' sh "$completion" lumacrest-cli "$@"
}
mkdir -p "$work/files" && : > "$work/files/image.hex"
"$root/usr/bin/lumacrest-cli" --help > "$work/cli-help.txt"
for option in $(grep -o -- '--[a-z][a-z-]*' "$work/cli-help.txt" | sort -u); do
  check "completion offers $option" has -qx -- "$option" <(complete_words "${option:0:4}")
done
for command in $(sed -n '/^Commands:/,/^$/p' "$work/cli-help.txt" | awk 'NR > 1 && NF {print $1}'); do
  check "completion offers $command" has -qx -- "$command" <(complete_words --quiet "$command")
done
check "completion of a file option gives files" has -qx "files/image.hex" <(complete_words --flash files/i)
check "completion of --port" has -qx "COM16" <(complete_words --port COM1)
check "completion of --options" has -qx "erase,flash" <(complete_words --options erase,fl)
check "completion after read-flash gives files" has -qx "files/image.hex" <(complete_words read-flash files/)

# ---- the unpacked lumacrest-cli with a home of its own -----------------------------------
# It finds its data beside it (usr/bin/../share/lumacrest) and keeps the settings in the
# user's folder, made at the first start.
home="$work/home"
mkdir -p "$home"
user_dir="$home/.local/share/lumacrest"
cli() { env -u XDG_DATA_HOME HOME="$home" "$root/usr/bin/lumacrest-cli" "$@"; }
check "--help names the user's folder" has -qx "The program directory here: $user_dir/" <(cli --help)
cli checksum > "$work/out0.txt" 2>&1
check "first run exits 0" test $? -eq 0
check "the shipped settings name the MCU whose file ships" \
  test "$(head -1 "$work/out0.txt")" = "Adapter:ZK9_QFP64_001(51A)"
check "... and select it" has -qx "SEP2:  Select MCU MN101EF51A_IAP" "$work/out0.txt"
cli --mcu MN101EF51A_IAP --save-config checksum > "$work/out1.txt" 2>&1
check "run with --save-config exits 0" test $? -eq 0
for f in Config.dat Ports.dat MN101EF51A_IAP.cfg; do
  check "$f copied in" test -s "$user_dir/$f"
done
check "the sums are not copied in" test ! -e "$user_dir/DataFiles.sha256"
check "settings saved there" test "$(sed -n 2p "$user_dir/Config.dat")" = MN101EF51A_IAP
check "nothing written beside the programs" test "$(ls "$root/usr/bin")" = "$(printf 'lumacrest\nlumacrest-cli\nlumacrest-sim')"
# A second start keeps the user's files and brings back a missing one.
echo "COM3 /tmp/lumacrest-com3" > "$user_dir/Ports.dat"
rm "$user_dir/MN101EF51A_IAP.cfg"
cli checksum > "$work/out2.txt" 2>&1
check "second run exits 0" test $? -eq 0
check "second run starts with the saved settings" test "$(head -1 "$work/out2.txt")" = "Adapter:ZK9_QFP64_001(51A)"
check "the user's Ports.dat stays" test "$(cat "$user_dir/Ports.dat")" = "COM3 /tmp/lumacrest-com3"
check "a missing file comes back" cmp -s "$user_dir/MN101EF51A_IAP.cfg" "$src/res/MN101EF51A_IAP.cfg"
check "a changed file is not told while the installed one is the same" \
  test -z "$(grep 'is kept as you changed it' "$work/out2.txt")"
# XDG_DATA_HOME moves the folder; --dir on an empty or a new folder fills it the same way.
XDG_DATA_HOME="$work/data" HOME="$home" "$root/usr/bin/lumacrest-cli" checksum > /dev/null 2>&1
check "XDG_DATA_HOME is used" test -s "$work/data/lumacrest/Config.dat"
mkdir "$work/station1"
cli --dir "$work/station1" checksum > "$work/out3.txt" 2>&1
check "--dir on an empty folder runs" test $? -eq 0
check "--dir on an empty folder is filled" cmp -s "$work/station1/Ports.dat" "$src/res/Ports.dat"
cli --dir "$work/station2/new" --save-config checksum > /dev/null 2>&1
check "--dir on a new folder runs and saves there" test -s "$work/station2/new/Config.dat"

# `ports`: the devices present, with the COM name Ports.dat gives them.
ln -s /dev/null "$work/box"
echo "COM5 $work/box" > "$work/station1/Ports.dat"
cli --dir "$work/station1" ports > "$work/ports.txt" 2>&1
check "ports exits 0" test $? -eq 0
check "ports lists a device of Ports.dat with its COM name" \
  has -qE "^$work/box +COM5 +-\$" "$work/ports.txt"

# An upgrade changes two installed data files and the settings: the user's unchanged copy is
# refreshed, the changed one is kept and told once, Config.dat is never refreshed.
next="$work/next"
cp -a "$root" "$next"
share="$next/usr/share/lumacrest"
cat "$share/DataFiles.sha256" > "$work/sums"
(cd "$share" && sha256sum Ports.dat MN101EF51A_IAP.cfg) >> "$work/sums"
echo "COM17 /dev/ttyUSB9" >> "$share/Ports.dat"
echo "changed in the next version" >> "$share/MN101EF51A_IAP.cfg"
echo "changed in the next version" >> "$share/Config.dat"
(cd "$share" && sha256sum Ports.dat MN101EF51A_IAP.cfg && cat "$work/sums") | sort -u > "$share/DataFiles.sha256"
up_home="$work/up-home"
up_dir="$up_home/.local/share/lumacrest"
next_cli() { env -u XDG_DATA_HOME HOME="$up_home" "$1/usr/bin/lumacrest-cli" checksum; }
next_cli "$root" > /dev/null 2>&1
echo "COM1 /dev/serial/by-id/usb-my-box" > "$up_dir/Ports.dat"   # the user's own
cp "$up_dir/Config.dat" "$work/config.before"
next_cli "$next" > "$work/up1.out" 2> "$work/up1.err"
check "run after the upgrade exits 0" test $? -eq 0
check "an unchanged copy is refreshed" cmp -s "$up_dir/MN101EF51A_IAP.cfg" "$share/MN101EF51A_IAP.cfg"
check "a changed copy is kept" test "$(cat "$up_dir/Ports.dat")" = "COM1 /dev/serial/by-id/usb-my-box"
check "Config.dat is never refreshed" cmp -s "$up_dir/Config.dat" "$work/config.before"
check "the kept copy is told on stderr, with where the newer one is" \
  has -qx "lumacrest-cli: $up_dir/Ports.dat is kept as you changed it; the installed Ports.dat is newer: $share/Ports.dat" "$work/up1.err"
check "it is told once" test "$(grep -c 'is kept as you changed it' "$work/up1.err")" -eq 1
next_cli "$next" > /dev/null 2> "$work/up2.err"
check "... and not again" test -z "$(grep 'is kept as you changed it' "$work/up2.err")"

# ---- dpkg: install into scratch roots -----------------------------------------------------
# A root with a dpkg database that knows the packages these depend on as installed (their
# entries from this machine), so that dependencies, Breaks and Replaces are all checked.
# Maintainer scripts run outside the root with DPKG_ROOT set.
make_root() {  # make_root DIR
  local dir="$1" p
  mkdir -p "$dir/var/lib/dpkg/info" "$dir/var/lib/dpkg/updates" "$dir/var/lib/dpkg/triggers"
  : > "$dir/var/lib/dpkg/available"
  : > "$dir/var/lib/dpkg/status"
  for p in $( (dpkg-deb -f "$cli_deb" Depends; echo ,; dpkg-deb -f "$gui_deb" Depends) | names | sort -u); do
    [[ "$p" == lumacrest* ]] && continue
    dpkg-query -s "$p" 2>/dev/null >> "$dir/var/lib/dpkg/status" && echo >> "$dir/var/lib/dpkg/status"
  done
}
scratch_dpkg() {  # scratch_dpkg ROOT ARGS...
  local dir="$1"; shift
  dpkg --root="$dir" --log="$dir/dpkg.log" --force-script-chrootless --force-not-root "$@"
}
status_of() { dpkg-query --admindir="$1/var/lib/dpkg" -W -f='${Status} ${Version}' "$2" 2>/dev/null; }

# A line PC: lumacrest-cli alone.
line="$work/line-pc"
make_root "$line"
scratch_dpkg "$line" -i "$cli_deb" > "$work/dpkg-line.txt" 2>&1
check "lumacrest-cli installs alone" test $? -eq 0 || grep -v "files list file" "$work/dpkg-line.txt"
check "lumacrest-cli is installed" test "$(status_of "$line" lumacrest-cli)" = "install ok installed $version"
check "/var/lib/lumacrest is root:dialout 2775" \
  test "$(stat -c '%U:%G %a' "$line/var/lib/lumacrest")" = "root:dialout 2775"
env -u XDG_DATA_HOME HOME="$work/line-home" "$line/usr/bin/lumacrest-cli" checksum > /dev/null 2>&1
check "the installed lumacrest-cli runs" test $? -eq 0
if [[ -f "$src/tests/package/check_ledger.sh" ]]; then
  bash "$src/tests/package/check_ledger.sh" "$line"
  check "check_ledger.sh" test $? -eq 0
fi
# The README from top to bottom, and the examples of the manual pages, against the simulator.
bash "$src/tests/package/walkthrough.sh" "$line"
check "the README's walkthrough ends with a programmed chip" test $? -eq 0
bash "$src/tests/package/check_examples.sh" "$line"
check "the manual pages' examples run" test $? -eq 0
scratch_dpkg "$line" --purge lumacrest-cli > "$work/dpkg-purge.txt" 2>&1
check "lumacrest-cli purges" test $? -eq 0 || grep -v "files list file" "$work/dpkg-purge.txt"
check "nothing of it is left in /usr" test -z "$(find "$line/usr" -type f 2>/dev/null)"

# The upgrade from the single lumacrest 3.0 package: the programs, data files, desktop entry,
# icon and manual pages that it installed (its data files as 3.0 shipped them).
old="$work/old"
mkdir -p "$old/DEBIAN"
cp -a "$root/usr" "$old/"
rm -rf "$old/usr/share/doc" "$old/usr/share/bash-completion" "$old/usr/share/lumacrest/DataFiles.sha256"
for f in Config.dat Ports.dat MN101EF51A_IAP.cfg; do
  git -C "$src" show "74dfd08:res/$f" > "$old/usr/share/lumacrest/$f" 2>/dev/null ||
    cp "$src/res/$f" "$old/usr/share/lumacrest/$f"
done
cat > "$old/DEBIAN/control" <<CONTROL
Package: lumacrest
Version: 3.0
Architecture: $(dpkg-deb -f "$cli_deb" Architecture)
Maintainer: Lumacrest <dev@lumacrest.invalid>
Depends: fonts-wqy-microhei
Section: electronics
Priority: optional
Description: host tool for the Lumacrest serial microcontroller programmer
 The single package of before: the window, lumacrest-cli and lumacrest-sim.
CONTROL
dpkg-deb --root-owner-group -b "$old" "$work/lumacrest_3.0.deb" > /dev/null
bench="$work/bench-pc"
make_root "$bench"
scratch_dpkg "$bench" -i "$work/lumacrest_3.0.deb" > "$work/dpkg-old.txt" 2>&1
check "lumacrest 3.0 installs" test $? -eq 0 || grep -v "files list file" "$work/dpkg-old.txt"
# apt resolves the upgrade of the pair (lumacrest upgraded, lumacrest-cli new) on a system
# that has only lumacrest 3.0, and unpacks with --auto-deconfigure, as dpkg does it here.
dpkg-query --admindir="$bench/var/lib/dpkg" -s lumacrest | grep -v '^Depends:' > "$work/old-status"
apt-get -s -o Dir::State::status="$work/old-status" -o Debug::NoLocking=1 \
  install "$cli_deb" "$gui_deb" > "$work/apt-upgrade.txt" 2>&1
check "apt upgrades lumacrest 3.0 with the pair" \
  has -q "^Inst lumacrest \[3.0\] ($version" "$work/apt-upgrade.txt" || cat "$work/apt-upgrade.txt"
check "apt installs lumacrest-cli beside it" has -q "^Inst lumacrest-cli ($version" "$work/apt-upgrade.txt"
scratch_dpkg "$bench" --auto-deconfigure -i "$cli_deb" "$gui_deb" > "$work/dpkg-upgrade.txt" 2>&1
check "the pair upgrades lumacrest 3.0" test $? -eq 0 || grep -v "files list file" "$work/dpkg-upgrade.txt"
check "lumacrest is upgraded" test "$(status_of "$bench" lumacrest)" = "install ok installed $version"
check "lumacrest-cli is installed" test "$(status_of "$bench" lumacrest-cli)" = "install ok installed $version"
missing=0
for deb in "$cli_deb" "$gui_deb"; do
  while read -r f; do
    [[ -f "$root$f" ]] && ! cmp -s "$root$f" "$bench$f" && { echo "not installed: $f"; missing=1; }
  done < <(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's#^\.##')
done
check "every file of the pair is installed" test "$missing" -eq 0
check "the files moved to lumacrest-cli belong to it" \
  test "$(dpkg-query --admindir="$bench/var/lib/dpkg" -S /usr/bin/lumacrest-cli 2>/dev/null)" = "lumacrest-cli: /usr/bin/lumacrest-cli"
check "/var/lib/lumacrest after the upgrade" \
  test "$(stat -c '%U:%G %a' "$bench/var/lib/lumacrest")" = "root:dialout 2775"
if [[ -f "$src/tests/package/check_ledger.sh" ]]; then
  bash "$src/tests/package/check_ledger.sh" "$bench"
  check "check_ledger.sh after the upgrade" test $? -eq 0
fi

echo "$passed passed, $failed failed"
test "$failed" -eq 0
