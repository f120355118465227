#!/bin/bash
# Tracks every signer of a varied set with both methods and prints the
# accuracy table of each, then the speed of both methods and of decoding alone
# on one file.
#   bash scripts/eval-robust.sh [BUILD_DIR] [SET_DIR] [SEED]
set -euo pipefail
build=${1:-build}
set=${2:-$build/robust-set}
seed=${3:-1}
if [ ! -f "$set/set.list" ]; then
    "$build/vestiga/sample/vestiga-synth" --set "$set" --seed "$seed" > /dev/null
fi
for name in $(cat "$set/set.list"); do
    for m in classic robust; do
        "$build/vestiga/tools/vestiga-track" "$set/$name.avi" -o "$set/$name.$m.track" \
            --calibration "$set/$name.calib" --tracker $m --quiet
    done
done
for m in classic robust; do
    echo "== $m"
    "$build/vestiga/sample/vestiga-eval" --set "$set" --suffix ".$m.track"
done
first=$(head -n 1 "$set/set.list")
echo "== speed on $first"
"$build/vestiga/robust/perf_robust" "$set/$first.avi" "$set/$first.calib"
