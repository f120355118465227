#pragma once
// The four body-part filters: head and torso (one template each), elbows
// (three arm templates, tied to a shoulder placed from the torso) and both
// hands (forearm bands and head box summed on the skin map).
#include "engine/IntFil.h"
#include "engine/PartFil.h"

#include <opencv2/core.hpp>

#include <vector>

namespace vestiga {

// A filter scored by one template on an integral map, its particles kept in a
// box xMin .. xMax - 1, yMin .. yMax - 1: the weight is 10^score.
class BoxPartFil : public PartFil {
public:
    void initialize(int x0, int y0, IntFil* fil, int xMin, int yMin, int xMax, int yMax, const cv::Mat* map);

    IntFil* fil = nullptr;
    int xMin = 0, yMin = 0, xMax = 0, yMax = 0;
    const cv::Mat* intMap = nullptr;

protected:
    // Clamps every particle to the box, then raises y to at least yFloor,
    // and weighs it.
    void weighInBox(double yFloor);
};

class HeadPartFil : public BoxPartFil {
public:
    void computeWeights() override;
};

// Never above the head: the torso's y is raised to the head estimate's.
class TorsoPartFil : public BoxPartFil {
public:
    void initialize(int x0, int y0, IntFil* fil, int xMin, int yMin, int xMax, int yMax, const cv::Mat* map,
                    HeadPartFil* head);
    void computeWeights() override;

    HeadPartFil* headPF = nullptr;
};

// max(30^s1, 30^s2, 30^s3), the three powers taken by std::pow in double
// precision; the same value as that expression, with fewer powers.
double maxPow30(float s1, float s2, float s3);

class ElbowPartFil : public PartFil {
public:
    void initialize(int x0, int y0, IntFil* fil1, IntFil* fil2, IntFil* fil3, int armLen, const cv::Mat* map,
                    TorsoPartFil* torso, char side);
    void computeWeights() override;

    IntFil* fil1 = nullptr;
    IntFil* fil2 = nullptr;
    IntFil* fil3 = nullptr;
    int armLen = 0;
    const cv::Mat* intMap = nullptr;
    TorsoPartFil* torsoPF = nullptr;
    char side = 'r';
};

// The regions of one hand particle: both forearm bands, their parts inside
// the picture and the intersections of the union's inclusion-exclusion sum.
// Rebuilt for every particle (no allocation per particle); each thread that
// weighs particles has its own.
struct HandRegions {
    MultiRec arm1MR, arm2MR, arm1InMR, arm2InMR;
    MultiRec headArm1MR, arm1Arm2MR, headArm2MR, allMR;
};

// After a weighing on one thread, the filter's own HandRegions hold the last
// particle's regions.
class HandPartFil : public PartFil, public HandRegions {
public:
    void initialize(int x0, int y0, int handW, int headW, int headH, float sleeve, const cv::Mat* map,
                    ElbowPartFil* elbowR, ElbowPartFil* elbowL, HeadPartFil* head);
    void computeWeights() override;
    // The cycle, then with sleeves to the wrist (sleeve above 0.95) sort().
    void run() override;
    void sort();

    const cv::Mat* intMap = nullptr;
    int handW = 0;
    int headW = 0;
    int headH = 0;
    float sleeve = 0;
    ElbowPartFil* elbowPFR = nullptr;
    ElbowPartFil* elbowPFL = nullptr;
    HeadPartFil* headPF = nullptr;
    // Regions common to all particles, rebuilt at each weighing.
    MultiRec imageMR, headMR, headInMR;
    // Work space of the threads other than the calling one (slots 1, 2, ...);
    // the calling thread uses the filter's own HandRegions.
    std::vector<HandRegions> workerRegions;
};

} // namespace vestiga
