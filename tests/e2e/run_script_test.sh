#!/bin/sh
# scripts/run without a display on fresh data roots: a passport for the simulated probe is
# installed once, tacprobe runs on the configured port for the run only, the demo leaves its
# snapshots and says where (two pushes recorded, one commented, the operation saved into the
# stationary database); a port already linked there gets no simulator.
# Usage: run_script_test.sh SOURCE_DIR BUILD_DIR
set -eu
here=$1
build=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() {
  echo "FAIL: $*" >&2
  echo "--- output ---" >&2
  echo "$out" >&2
  exit 1
}
unset DISPLAY WAYLAND_DISPLAY TACMON_PORTS TACMON_PROBE TACMON_PROBE_ARGS USBCAN_SIM USBCAN_SOCKETCAN
export HOME="$tmp" TACMON_ROOT="$tmp/Tacmon" TACMON_DATA="$tmp/Data" TACMON_SNAPSHOTS="$tmp/snap"
export TACMON_BUILD="$build" TACMON_NO_SETUP=1
ports=$TACMON_ROOT/ports

out=$("$here/scripts/run" 2>&1) || fail "first run ended with $?"
echo "$out" | grep -q "installed a passport for the simulated probe" || fail "no passport installed"
"$build/bin/tacpush" passport 'c:\Tacmon\DVP\tacprobe.dvp' | grep -q '^autoconnect: 1$' ||
  fail "the passport is not for autoconnect"
echo "$out" | grep -q "simulated probe (tacprobe) on COM3" || fail "no probe on COM3"
grep -q "^tacprobe: COM3 ready" "$ports/tacprobe-COM3.log" || fail "tacprobe was not ready"
grep -q "^tacprobe: stopped" "$ports/tacprobe-COM3.log" || fail "tacprobe was not stopped"
grep -q "ready, serial" "$ports/tacinstrument.log" || fail "tacinstrument was not ready"
grep -q "^tacinstrument: stopped" "$ports/tacinstrument.log" || fail "tacinstrument was not stopped"
if [ -e "$ports/COM3" ] || [ -L "$ports/COM3" ]; then fail "the port link outlived the run"; fi
for name in 01-hub 04-zero-point 06-recording-second-push 07-two-pushes 08-comment 09-viewer \
  10-saved; do
  [ -s "$tmp/snap/$name.png" ] || fail "no snapshot $name"
  echo "$out" | grep -q "  $tmp/snap/$name.png" || fail "the snapshot $name is not named"
done
echo "$out" | grep -q "simulated tactile display (tacdisplay) on COM4" || fail "no display on COM4"
grep -q '"COM3, COM4\."' "$tmp/snap/01-hub.json" ||
  fail "the hub's port list does not show COM3 and COM4"
# The demo's operation: two pushes in one folder, the newest commented, both in the database.
set -- "$TACMON_ROOT"/OPERATIONS/*/
[ $# -eq 1 ] || fail "$# operation folders"
op=$1
set -- "$op"*.psh
[ $# -eq 2 ] || fail "$# pushes in $op"
for newest in "$op"*.dsc; do :; done
iconv -f cp1251 -t utf-8 "$newest" | grep -q "Уплотнение в центре" || fail "no comment in $newest"
iconv -f cp1251 -t utf-8 "$TACMON_DATA/DB_op/1/OperationData" |
  grep -q "FIO_patient: Анна Сергеевна Иванова" || fail "the operation is not saved"
[ "$(grep -l "OperationID: 1" "$TACMON_DATA"/DB_push/*/* | wc -l)" -eq 2 ] ||
  fail "the pushes are not saved"
grep -q '"rec=1/' "$tmp/snap/09-viewer.json" || fail "the viewer shows no push"

# The later runs play a short script.
printf 'wait 300\nsnapshot @SNAPSHOTS@/hub.png\nquit\n' > "$tmp/short.tacmon"
export TACMON_DEMO="$tmp/short.tacmon"

# Settings name another port; the passport is there already.
printf 'd NumCOMPort\r\n8\r\n' > "$TACMON_ROOT/pars/KCDMain.par"
out=$("$here/scripts/run" 2>&1) || fail "second run ended with $?"
echo "$out" | grep -q "installed a passport" && fail "the passport was installed again"
echo "$out" | grep -q "simulated probe (tacprobe) on COM8" || fail "no probe on COM8"

# A port already linked there: no simulator.
ln -s /dev/null "$ports/COM8"
rm -f "$ports/tacprobe-COM8.log"
out=$("$here/scripts/run" 2>&1) || fail "third run ended with $?"
echo "$out" | grep -q "COM8 is linked to /dev/null: no simulated probe started" ||
  fail "a linked port got a simulator"
[ ! -e "$ports/tacprobe-COM8.log" ] || fail "tacprobe ran on a linked port"
echo "run script: ok"
