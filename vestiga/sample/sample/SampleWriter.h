#pragma once
// Writes the sample signer: DIR/NAME.avi (Motion-JPEG, 25 fps, 640 x 480),
// DIR/NAME.calib (the tracker's calibration of frame 0) and DIR/NAME.truth
// (positions of every frame). Each file is written under a temporary name and
// renamed when complete, so an interrupted or failed run leaves no truncated
// file and keeps earlier ones.
#include "sample/SignerScene.h"

#include <functional>
#include <string>

namespace vsample {

struct SampleRequest {
    std::string outDir;
    std::string name = "signer";
    int frames = kScriptFrames;
    SceneOptions scene;
};

struct SamplePaths {
    std::string video, calibration, truth;
};

SamplePaths samplePaths(const SampleRequest& r);

// Checks the request: a positive frame count, a plain file name (no directory
// separator, not empty, not "." or ".."). False with a message otherwise.
bool checkRequest(const SampleRequest& r, std::string* error);

// Renders and writes the three files; creates the output directory when
// missing. `progress`, when set, is called after each frame with (done, total).
bool writeSample(const SampleRequest& r, std::string* error,
                 const std::function<void(int, int)>& progress = nullptr);

} // namespace vsample
