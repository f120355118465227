#pragma once
// The synthetic signer: a person filmed from the front, in a shirt, in front
// of a textured wall, whose hands perform a script of movements. The default
// signer (look 0, script "default", 640 x 480, 25 frames/s, long sleeves) is
// the sample every test and pinned tracking file is made from: a fixed
// ten-second script (holds, a rise, circles, a back-and-forth movement, arcs,
// repeated taps, a parallel shift, a return to rest). Other looks change skin,
// clothes, wall and build; other scripts are described in SignerScript.h.
//
// The body is laid out in the coordinates of the default 640 x 480 frame and
// mapped onto the frame by a uniform scale and a shift (the person stands at
// the bottom centre of the frame), so every size shows the same person.
//
// The arms are two-link chains in three dimensions (x right, y down, z toward
// the camera) solved by inverse kinematics from the shoulder and the hand
// target, then projected orthographically onto the picture; the forearms are
// thus foreshortened when the hands come forward, as in real video.
//
// Everything is deterministic: positions depend only on the frame number, and
// the picture noise comes from the scene's own seeded generator.
#include <opencv2/core.hpp>

#include "sample/SignerScript.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vsample {

// Frame geometry and timing of the default sample video.
constexpr int kFrameWidth = 640;
constexpr int kFrameHeight = 480;
constexpr double kFps = 25.0;
constexpr int kScriptFrames = 250; // length of the movement script (10 s)

// Positions of one frame, in frame pixels (origin top-left, y down). Hand 1 is
// the person's right hand, on the left of the picture, tied to the right elbow.
struct SignerPose {
    cv::Point2d hand1, hand2;         // centres of the hands
    cv::Point2d head;                 // centre of the face
    cv::Point2d elbowR, elbowL;       // elbow joints
    cv::Point2d wristR, wristL;       // ends of the sleeves
    cv::Point2d shoulderR, shoulderL; // shoulder joints (fixed)
};

// Calibration of the reference frame (frame 0), in frame pixels.
struct SceneCalibration {
    cv::Rect2d area;      // image area: the whole frame
    cv::Rect2d head;      // box around the head (face and hair)
    cv::Point2d shoulderR, shoulderL;
    bool shortSleeves = false;
};

// The colours and build of one signer and the wall behind.
struct SignerLook {
    cv::Scalar skin, skinLight, neck, shirt, sleeve, sleeveEdge, hair, eye, mouth;
    int wall = 0;              // wall pattern: 0 panels, 1 stripes, 2 shelves, 3 curtain
    cv::Scalar wallColour;     // the wall's mean colour
    double shoulderWidth = 1;  // shoulder distance relative to the default signer
    double faceSize = 1;       // face size relative to the default signer
};

constexpr int kLooks = 4;
// Look n (0 <= n < kLooks): 0 is the default signer; 1 dark skin, grey
// shirt, green-grey striped wall; 2 pale skin, black shirt, shelves; 3 tan
// skin, green shirt, dark curtain.
SignerLook signerLook(int n);

struct SceneOptions {
    uint32_t seed = 20240611u; // seed of the picture noise
    double noiseSigma = 3.0;   // grey levels, per channel and pixel
    int look = 0;              // see signerLook
    std::string script = "default";
    // Moves the script's key poses and timing (0: the script as written;
    // the default script has no variants).
    uint32_t variant = 0;
    cv::Size size{kFrameWidth, kFrameHeight};
    double fps = kFps;
    bool shortSleeves = false; // sleeves end above the elbow: bare forearms
    double personScale = 1.0;  // person height relative to the frame height
};

// Three-dimensional two-link inverse kinematics: the elbow of an arm of upper
// length l1 and lower length l2 from `shoulder` to `target`, on the side that
// `pole` points to. A target out of reach is pulled onto the reachable shell.
cv::Point3d solveElbow(const cv::Point3d& shoulder, const cv::Point3d& target, double l1, double l2,
                       const cv::Point3d& pole);

// The pole that solveElbow bends an arm toward, for a hand at `target`
// (`outward` is -1 for the arm on the picture's left, +1 for the other).
cv::Point3d armPole(const cv::Point3d& shoulder, const cv::Point3d& target, double outward);

class SignerScene {
public:
    // Options must be valid (checkSceneOptions); an unknown script falls back
    // to the default one.
    explicit SignerScene(const SceneOptions& options = SceneOptions());

    // Pose of frame k (k >= 0); the script repeats (every kScriptFrames
    // frames for the default one).
    SignerPose pose(int k) const;
    // Frames in one pass of the script at the scene's frame rate.
    int scriptFrames() const;
    const SceneOptions& options() const { return options_; }
    // The picture of frame k: options().size, 8-bit, blue-green-red.
    void render(int k, cv::Mat& out) const;
    // Calibration of frame 0.
    SceneCalibration calibration() const;

    // The colours of the scene (blue, green, red), for tests.
    static cv::Scalar skinColour();
    static cv::Scalar shirtColour();

private:
    void drawPerson(const SignerPose& p, cv::Mat& img) const;
    void addNoise(int k, cv::Mat& img) const;
    // Default-frame coordinates to frame pixels.
    cv::Point2d toFrame(const cv::Point2d& p) const { return p * scale_ + offset_; }

    SceneOptions options_;
    SignerLook look_;
    SignerScript script_;
    double scale_ = 1;         // frame pixels per default-frame pixel
    cv::Point2d offset_;       // where the default frame's origin lands
    cv::Point3d shoulderR_, shoulderL_; // default-frame coordinates
    cv::Mat background_;           // the wall, rendered once
    std::vector<int8_t> noise_;    // Gaussian noise table, from the seed
};

// Why the options cannot make a scene (size, frame rate, look, script,
// scale), or an empty string.
std::string checkSceneOptions(const SceneOptions& o);

} // namespace vsample
