#pragma once
// Movement scripts of the synthetic signer: where each hand aims at every
// moment, in the body coordinates of the default signer (frame pixels of the
// 640 x 480 sample: shoulders at (230, 216) and (410, 216), face centre at
// (320, 120), z toward the camera).
//
// "default" is the sample's own ten-second script, defined frame by frame at
// 25 frames/s. The others are key poses joined by eased moves:
//   crossing  the hands cross in front of the chest, touch, cross again;
//   face      a hand touches the chin, the cheeks, both hands at the face;
//   quick     large movements of a quarter to half a second;
//   mixed     a little of each.
// A non-zero variant moves every key pose a little and stretches the timing,
// so that one script gives many different movements.
#include <opencv2/core.hpp>

#include <cstdint>
#include <string>
#include <vector>

namespace vsample {

struct ScriptKey {
    double t = 0;        // seconds
    cv::Point3d h1, h2;  // hand targets reached at time t
};

class SignerScript {
public:
    // The named script; false (and a message) for an unknown name.
    bool load(const std::string& name, uint32_t variant, std::string* error);
    static std::vector<std::string> names();

    const std::string& name() const { return name_; }
    // Length of one pass, in seconds.
    double duration() const;
    // Hand targets at time t (seconds); the script repeats after duration().
    void targets(double t, cv::Point3d& h1, cv::Point3d& h2) const;

private:
    std::string name_ = "default";
    std::vector<ScriptKey> keys_; // empty for "default"
};

// The default script at frame f of 25 frames/s (0 <= f < 250; fractional
// frames interpolate).
void defaultTargets(double f, cv::Point3d& h1, cv::Point3d& h2);

} // namespace vsample
