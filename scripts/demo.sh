#!/usr/bin/env bash
# Sets everything up and runs the main job on the bundled sample: generates the
# synthetic signer, tracks it with vestiga-track, measures the tracking against
# the ground truth, and makes one sign picture of it with glyphora-render.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
BUILD=${BUILD:-build}
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j "$(nproc)" --target vestiga-synth vestiga-track vestiga-eval glyphora-render

OUT=${OUT:-out/sample}
mkdir -p "$OUT"
export OPENCV_LOG_LEVEL=ERROR
echo "== generating the sample signer in $OUT"
"$BUILD/vestiga/sample/vestiga-synth" --out-dir "$OUT" --name signer
echo "== tracking it"
"$BUILD/vestiga/tools/vestiga-track" "$OUT/signer.avi" -o "$OUT/signer.track" \
  --calibration "$OUT/signer.calib" --annotated-video "$OUT/signer-annotated.avi"
echo "== accuracy against the ground truth (units: fractions of the image-area height)"
"$BUILD/vestiga/sample/vestiga-eval" --truth "$OUT/signer.truth" --tracking "$OUT/signer.track" \
  --calibration "$OUT/signer.calib"
echo "== a sign picture of seconds 2.0 to 4.0"
"$BUILD/glyphora/tools/glyphora-render" "$OUT/signer.avi" "$OUT/signer.track" -o "$OUT/sign" \
  --begin 2.0 --end 4.0 --pattern 0 > "$OUT/sign-export.txt"
echo
echo "tracking file:   $OUT/signer.track"
echo "annotated video: $OUT/signer-annotated.avi"
echo "sign picture:    $OUT/sign.jpg"
echo "description:     $OUT/sign.sgn"
echo "movement export: $OUT/sign-export.txt"
