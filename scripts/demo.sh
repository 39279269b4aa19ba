#!/usr/bin/env bash
# The main job: installs what is missing, builds the native configuration
# and drives the plug-ins with the host program against simulated devices.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset native-release >/dev/null
cmake --build --preset native-release -j "$(nproc)"
HOST=build/native-release/host/cvhost
echo "== cvhost info, with a T21 and an RQ2 camera attached =="
"$HOST" --sim-camera 0A30 --sim-camera 0A12 info

# One exposure in each imaging mode of an interlaced camera with a guide
# head (RQ3: 1392 x 520 per field), and one with the guide head through a
# second object. On the virtual clock the exposure and the camera-timed
# second field take no real time; the pixels are still made, field by
# field, from the simulated sky.
OUT=demo-output
mkdir -p "$OUT"
SIM=(--sim-camera 0A13 --sim-virtual-clock --sim-seed 2026)
step() {
  local what=$1; shift
  echo
  echo "== $what =="
  local t0 t1
  t0=$(date +%s.%N)
  "$@"
  t1=$(date +%s.%N)
  awk -v a="$t0" -v b="$t1" -v w="$what" 'BEGIN { printf "-- %s: %.2f s\n", w, b - a }'
}
for mode in automatic progressive fast interlaced; do
  step "expose 10 s, $mode mode" "$HOST" "${SIM[@]}" expose --time 10 --mode "$mode" --output "$OUT"
done
step "expose 2 s with the guide head (attached guider)" \
  "$HOST" "${SIM[@]}" expose --guider --time 2 --output "$OUT"
step "expose 0.5 s dark, 2 x 2 binned subframe" \
  "$HOST" "${SIM[@]}" expose --time 0.5 --type dark --bin 2 --subframe 100,50,500,300 \
  --name imager-dark-bin2-subframe --output "$OUT"

step "filter wheel: connect a 7-position wheel and move through every filter" \
  "$HOST" --sim-wheel 7 --sim-virtual-clock wheel --log "$OUT/wheel-debug.log" cycle
step "cooler: cool to -10 C and watch the temperature for 6 simulated minutes" \
  "$HOST" --sim-camera 0A13 --sim-virtual-clock cool --setpoint -10 --on --watch --for 360 --interval 30

echo
echo "== fitsverify =="
for f in "$OUT"/*.fits; do fitsverify -q "$f"; done
echo
echo "Files in $OUT/:"
ls -l "$OUT"
