#!/usr/bin/env bash
# Builds the Debian package from the build tree and checks it: the files a desktop program
# installs, the dependencies apt must pull in, and that the packaged program starts.
#   deb.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log" >&2; fail "cpack failed"; }
deb=$(ls "$work"/out/*.deb)

contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for f in ./usr/bin/battery-analyzer ./usr/bin/battery-analyzer-cli ./usr/share/applications/battery-analyzer.desktop \
         ./usr/share/icons/hicolor/16x16/apps/battery-analyzer.png \
         ./usr/share/icons/hicolor/32x32/apps/battery-analyzer.png \
         ./usr/share/icons/hicolor/48x48/apps/battery-analyzer.png \
         ./usr/share/man/man1/battery-analyzer-cli.1 \
         ./usr/share/bash-completion/completions/battery-analyzer-cli \
         ./usr/libexec/battery-analyzer/battery-analyzer-cli-register; do
  grep -qx "$f" <<<"$contents" || fail "the package lacks $f"
done

depends=$(dpkg-deb -f "$deb" Depends)
for d in libqt6widgets6 libqt6serialport6 libqt6sql6-sqlite libqrencode4 qt6-qpa-plugins fonts-liberation fonts-wqy-microhei; do
  grep -q "$d" <<<"$depends" || fail "the package does not depend on $d ($depends)"
done

# The packaged program starts and keeps running until it is stopped; the packaged tool
# answers --help.
dpkg-deb -x "$deb" "$work/root"
export QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$work/config"
"$work/root/usr/bin/battery-analyzer-cli" --help | grep -q '^Usage: battery-analyzer-cli' \
  || fail "the packaged battery-analyzer-cli does not answer --help"
# The manual page holds every subcommand's help, and the completion offers their options.
for sub in download clear-memory convert stats match ports; do
  grep -q "^\.SS $sub\$" "$work/root/usr/share/man/man1/battery-analyzer-cli.1" || fail "the manual page lacks $sub"
done
options=$(PATH="$work/root/usr/bin:$PATH" bash -c 'source "$1"; COMP_WORDS=(battery-analyzer-cli match --); COMP_CWORD=2
  _battery_analyzer_cli; echo "${COMPREPLY[*]}"' _ "$work/root/usr/share/bash-completion/completions/battery-analyzer-cli")
grep -q -- --max-resistance <<<"$options" || fail "the completion does not offer match's options ($options)"
# Every family of subcommands runs from the package: the line's and the files' in the tool,
# the register's and the pictures' in the whole tool it becomes.
tool="$work/root/usr/bin/battery-analyzer-cli"
db="$work/cells.sqlite"
printf ' Group 1       030.0m\xa6\xb8     4.150V\r\n Group 2       031.0m\xa6\xb8     4.149V\r\n' >"$work/r.txt"
for args in "convert $work/r.txt -o $work/r.csv" "stats $work/r.txt" \
            "record $work/r.txt --cells A1,A2 --db $db" "cells --db $db" "cell A1 --db $db" \
            "runs --db $db" "export --db $db" "match --db $db --series 1 --parallel 2" \
            "report --db $db --output $work/r.html" "labels --db $db --only pass --output $work/l.pdf" \
            "undo 1 --db $db"; do
  # shellcheck disable=SC2086
  "$tool" $args >"$work/out.txt" 2>&1 || { cat "$work/out.txt" >&2; fail "battery-analyzer-cli $args"; }
done
"$work/root/usr/bin/battery-analyzer" &
pid=$!
sleep 2
kill -0 "$pid" 2>/dev/null || fail "the packaged program did not keep running"
kill "$pid"
wait "$pid" 2>/dev/null || true
echo "1 passed, 0 failed"
