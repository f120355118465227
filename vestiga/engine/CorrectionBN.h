#pragma once
// Post-processing of each frame's estimate: a two-hypothesis
// best-path check of the hands' labels (continuity, left-right ordering,
// distance to each elbow), and the pull of each elbow toward its hand when the
// two are farther apart than a forearm.
#include "engine/BodyEstimate.h"

namespace vestiga {

class CorrectionBN {
public:
    // dr: weight of the old value in the running statistics (0 .. 1);
    // faSize: forearm length in pixels of the processed picture.
    void initialize(float dr, int faSize);
    // Exchanges the hands' labels when the exchanged labelling scores higher.
    void correctHand(BodyEstimate& v);
    // Pulls each elbow to within a forearm of its hand.
    void correctElbow(BodyEstimate& v) const;

    float dr = 0;
    int faSize = 0;
    BodyEstimate last; // the previous frame's estimate as reported
    double hyp1 = 0;   // log-score of the labels as reported
    double hyp2 = 0;   // log-score of the exchanged labels
    // Running statistics: squared elbow-to-hand distance, and the mean and
    // variance of hand 2's offset from hand 1 across and down.
    double sigma2eh = 0;
    double mudx = 0;
    double sigma2dx = 0;
    double mudy = 0;
    double sigma2dy = 0;
};

} // namespace vestiga
