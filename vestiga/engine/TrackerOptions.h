#pragma once
// What the tracker is told before a run: where the signer is in the frame,
// how large the processed picture is, the proportions of the signer's body
// and the settings of the maps and the filters. Body sizes are fractions of
// the processed picture's height.
namespace vestiga {

struct TrackerOptions {
    // Image area: fractions of the frame, top-left origin,
    // 0 <= minX < maxX <= 1 and 0 <= minY < maxY <= 1. Default: the whole frame.
    float minX = 0, minY = 0, maxX = 1, maxY = 1;
    // Width of the processed picture in pixels; its height follows from the
    // area's aspect ratio.
    int resizeWidth = 400;

    // Deviations of the Gaussian noise added to the hue, saturation and value
    // of the background picture (0 .. 255 scale) before its colour histogram
    // is taken: the brightness changes the scene is expected to show.
    float noiseH = 0, noiseS = 0, noiseV = 10;
    // Foreground map values (0 .. 255) below this are set to 0.
    int foregroundThreshold = 180;

    // The signer's proportions; 0 (the default) leaves them unset, which
    // checkBodySizes refuses. The head box, the width of a hand, and the body
    // scale (3.5 shoulder distances) that sizes the trunk and arm templates.
    float headWidth = 0, headHeight = 0, handWidth = 0;
    float bodyScale = 0;
    // Width of the trunk templates relative to the body scale.
    float thickness = 0.8f;
    // Share of the forearm, from the elbow, that the sleeves cover: 1 for
    // sleeves to the wrist (then only the hands show skin, and the hands'
    // labels are checked), 0.33 for short sleeves.
    float sleeves = 0.33f;

    // Particles per filter, and the scale of their random walk: the drift's
    // deviation is resizeWidth * driftScale * bodyScale divided by 50 (head,
    // torso), 25 (elbows) or 30 (hands).
    int particles = 1500;
    float driftScale = 1.2f;
};

} // namespace vestiga
