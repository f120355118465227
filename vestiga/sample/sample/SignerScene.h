#pragma once
// The synthetic signer: a person filmed from the front, in a long-sleeved
// shirt, in front of a textured wall, whose hands perform a fixed ten-second
// script of movements (holds, a rise, circles, a back-and-forth movement,
// arcs, repeated taps, a parallel shift, a return to rest).
//
// The arms are two-link chains in three dimensions (x right, y down, z toward
// the camera) solved by inverse kinematics from the shoulder and the hand
// target, then projected orthographically onto the picture; the forearms are
// thus foreshortened when the hands come forward, as in real video.
//
// Everything is deterministic: positions depend only on the frame number, and
// the picture noise comes from the scene's own seeded generator.
#include <opencv2/core.hpp>

#include <cstdint>
#include <vector>

namespace vsample {

// Frame geometry and timing of the sample video.
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
};

struct SceneOptions {
    uint32_t seed = 20240611u; // seed of the picture noise
    double noiseSigma = 3.0;   // grey levels, per channel and pixel
};

// Three-dimensional two-link inverse kinematics: the elbow of an arm of upper
// length l1 and lower length l2 from `shoulder` to `target`, on the side that
// `pole` points to. A target out of reach is pulled onto the reachable shell.
cv::Point3d solveElbow(const cv::Point3d& shoulder, const cv::Point3d& target, double l1, double l2,
                       const cv::Point3d& pole);

class SignerScene {
public:
    explicit SignerScene(const SceneOptions& options = SceneOptions());

    // Pose of frame k (k >= 0); the script repeats every kScriptFrames frames.
    SignerPose pose(int k) const;
    // The picture of frame k: 640 x 480, 8-bit, blue-green-red.
    void render(int k, cv::Mat& out) const;
    // Calibration of frame 0.
    SceneCalibration calibration() const;

    // The colours of the scene (blue, green, red), for tests.
    static cv::Scalar skinColour();
    static cv::Scalar shirtColour();

private:
    void drawPerson(const SignerPose& p, cv::Mat& img) const;
    void addNoise(int k, cv::Mat& img) const;

    SceneOptions options_;
    cv::Mat background_;           // the wall, rendered once
    std::vector<int8_t> noise_;    // Gaussian noise table, from the seed
};

} // namespace vsample
