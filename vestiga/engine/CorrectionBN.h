#pragma once
// Post-processing of each frame's 12-value estimate: a two-hypothesis
// best-path check of the hands' labels (continuity, left-right ordering,
// distance to each elbow), and the pull of each elbow toward its hand when the
// two are farther apart than a forearm.
namespace vestiga {

class CorrectionBN {
public:
    void initialize(float dr, int faSize);
    void correctHand(double* v);
    void correctElbow(double* v);

    float dr = 0;
    int delay = 0;
    int faSize = 0;
    double lastBpCoord[14] = {};
    double hyp1 = 0;
    double hyp2 = 0;
    double stdDis = 0;
    double sigma2eh = 0;
    double mudx = 0;
    double sigma2dx = 0;
    double mudy = 0;
    double sigma2dy = 0;
    int* bestPrev = nullptr;
    long count = 0;
};

} // namespace vestiga
