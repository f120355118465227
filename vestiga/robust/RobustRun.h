#pragma once
// The robust method of a tracking run: the engine's skin and foreground maps
// and its torso filter, the robust hand tracker (RobustHands.h) for the face
// and both hands, and elbows placed by a two-link arm from the shoulder to the
// hand. Also the per-frame confidences of both methods.
#include "engine/Suivi2D.h"
#include "robust/RobustHands.h"
#include "run/Calibration.h"

#include <string>

namespace vestiga {

// Confidences (0..1) of the classic filters after a frame: the best
// particle's template score for the head (its weight is 10^score), and the
// best two-hand particle's explained share for the hands (2^(20 (share - 1))),
// the same for both hands. Zeros before the filters exist.
void filterConfidence(const Suivi2D& t, double conf[3]);

// The elbows of both arms as two-link arms from their shoulders to the hands
// (upper arm 0.78, forearm 0.83 shoulder distances), each bent away from the
// body on its own shoulder's side of the picture.
void placeElbows(const RobustHands::Setup& s, const cv::Point2d& hand1, const cv::Point2d& hand2,
                 cv::Point2d& elbowR, cv::Point2d& elbowL);

class RobustRun {
public:
    // After the tracker's set-up (initFilter), with the reference picture as
    // the current picture: computes its maps and sets the hands up on them.
    // `refWidth` is the reference picture's width. False with a message when
    // the calibration gives no usable geometry.
    bool initialize(Suivi2D& t, const RunCalibration& cal, int refWidth, std::string* error,
                    const RobustOptions& o = RobustOptions());
    // One frame, after computeSkBgMaps: the six points (the torso from the
    // engine's filter, the rest from the hands and the arms) and conf = hand
    // 1, hand 2, head. False when the torso filter is not ready.
    [[nodiscard]] bool track(Suivi2D& t, BodyEstimate& e, double conf[3]);

    const RobustHands& hands() const { return hands_; }

private:
    RobustHands hands_;
};

} // namespace vestiga
