#pragma once
// Writes a synthetic signer: DIR/NAME.avi (Motion-JPEG, by default 25 fps,
// 640 x 480),
// DIR/NAME.calib (the tracker's calibration of frame 0) and DIR/NAME.truth
// (positions of every frame). Each file is written under a temporary name and
// renamed when complete, so an interrupted or failed run leaves no truncated
// file and keeps earlier ones.
#include "sample/SignerScene.h"

#include <functional>
#include <string>
#include <vector>

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
// separator, not empty, not "." or ".."), scene options checkSceneOptions
// accepts. False with a message otherwise.
bool checkRequest(const SampleRequest& r, std::string* error);

// Renders and writes the three files; creates the output directory when
// missing. `progress`, when set, is called after each frame with (done, total).
bool writeSample(const SampleRequest& r, std::string* error,
                 const std::function<void(int, int)>& progress = nullptr);

// A varied set of signers for evaluation: looks, sizes up to 1280 x 720,
// 25 and 30 frames/s, long and short sleeves, every movement script. The
// members differ with `seed` (noise, key poses, timing), so one seed can be
// tuned on while another is kept aside.
std::vector<SampleRequest> variedSet(const std::string& outDir, uint32_t seed);

// Writes every member of the set and DIR/set.list, one name per line.
bool writeSet(const std::vector<SampleRequest>& set, const std::string& outDir, std::string* error,
              const std::function<void(const std::string&)>& progress = nullptr);

} // namespace vsample
