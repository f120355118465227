#pragma once
// The upper-body tracker: crops and scales each frame to the processed
// picture (400 pixels wide), turns it into a skin map and a foreground map
// through colour lookup tables, sums both into integral images, and runs the
// five body-part particle filters on them.
#include "engine/BodyEstimate.h"
#include "engine/BodyPartFil.h"
#include "engine/ColourMaps.h"
#include "engine/IntFil.h"
#include "engine/RandGen.h"
#include "engine/TrackerOptions.h"

#include <opencv2/core.hpp>

#include <memory>
#include <string>
#include <vector>

namespace vestiga {

class Suivi2D {
public:
    Suivi2D() = default;
    Suivi2D(const Suivi2D&) = delete; // the filters point into this object
    Suivi2D& operator=(const Suivi2D&) = delete;

    // The five body-part filters, in the order processFrame runs them.
    enum class Part { Head, Torso, ElbowR, ElbowL, Hands };
    static constexpr int kParts = 5;

    // Read by every step below; set them before setCurPicture.
    TrackerOptions opt;

    void setSkinPic(const cv::Mat& pic);       // shares the pixels (no copy)
    void setBackgroundPic(const cv::Mat& pic); // shares the pixels (no copy)

    // Why the image area cannot be tracked, or an empty string when it can:
    // fractions outside 0..1 or empty, a processed picture below 6 rows, or an
    // area taller than wide (the skin prior divides by resW / resH). Callers
    // check it before setCurPicture.
    std::string checkROI(cv::Size frame) const;
    // The image area's pixel rectangle in a frame of this size (fractions
    // times the frame size in single precision, truncated toward zero).
    cv::Rect imageArea(cv::Size frame) const;
    // resH for a frame of this size: trunc(H * (resW * (maxY - minY)) /
    // (W * (maxX - minX))) in single precision.
    int resizedHeight(cv::Size frame) const;
    // Why the body sizes cannot give working templates, or an empty string
    // when they can: a processed picture below 6 rows, or a head box, hand
    // width or body scale so small that a template's nominal area truncates
    // to 0 (its weights would be infinite). Needs resH (setCurPicture) and
    // the body sizes of opt; callers check it before initFilter.
    std::string checkBodySizes() const;

    // Sets up the processed picture (opt.resizeWidth x resH) and the map
    // images from the first frame (bicubic scaling). `frame` becomes curPic:
    // it shares its pixels, and the video source refills curPic in place, or
    // points it to another frame of the same size and type, before each
    // computeSkBgMaps. False (nothing changed) for a frame that is
    // not 8-bit, 3-channel or an image area that checkROI refuses. A second
    // call replaces (and releases) the images of the first.
    [[nodiscard]] bool setCurPicture(const cv::Mat& frame);
    // Synthesises bgPic from curResPic (false before setCurPicture).
    [[nodiscard]] bool createAutoBgPic();
    // Builds skinLikHist and bgLikHist; adds noise to bgPic in place, drawing
    // from rng. False (no table built, no draw) when the skin or background
    // picture is missing or not 8-bit, 3-channel, before setCurPicture, or for
    // an area taller than wide.
    [[nodiscard]] bool computeLikelihoodHisto();
    // Refills curResPic from curPic (nearest neighbour), then the maps and
    // their integral images. False (nothing changed) before the tables exist
    // or when the image area no longer fits in curPic.
    [[nodiscard]] bool computeSkBgMaps();

    // The random draws of one frame taken ahead: for the listed filters, in
    // that order (which must be the order they run in), the draws their
    // drifts would take (PartFil::takeDraws), into out (cleared first).
    // useDraws hands such a vector to the filters' next drifts; it must
    // outlive them. `variates`, when given, holds the variates of a leading
    // part of the draws (boxMullerFromDraws of each pair, in order): the
    // filters whose draws all lie in that part take those instead.
    void takeDraws(const Part* parts, int n, std::vector<int32_t>& out);
    void useDraws(const Part* parts, int n, const std::vector<int32_t>& draws,
                  const std::vector<double>* variates = nullptr);

    // Creates the five filters with opt.particles particles each (replacing
    // earlier ones), sharing one pool of threads.
    void buildPartFilter();
    // Builds the templates from resH and the body sizes and puts every
    // filter's particles at its starting state. False before buildPartFilter.
    [[nodiscard]] bool initFilter();

    // One frame: the five filters in order, each reading the estimates its
    // predecessors made on this frame; `out`, when given, receives the
    // frame's estimate (as estimate() would give it). False (nothing drawn,
    // nothing moved) before initFilter.
    [[nodiscard]] bool processFrame(BodyEstimate* out = nullptr);
    // One filter's share of processFrame, for timing the filters one by one.
    [[nodiscard]] bool track(Part part);
    // The filters' current estimate; all zero before initFilter.
    BodyEstimate estimate() const;
    PartFil* filter(Part part);

    const cv::Mat& getCurPic() const { return curPic; }
    cv::Mat& getCurResPic() { return curResPic; }
    const cv::Mat& getSkinMap() const { return skinMap; }
    const cv::Mat& getBgMap() const { return bgMap; }
    const cv::Mat& getIntSkinMap() const { return intSkinMap; }
    const cv::Mat& getIntBgMap() const { return intBgMap; }

    // The generator every random draw of this tracker comes from: the
    // background noise first, then the filters in their run order.
    RandGen rng;

    cv::Mat curPic;    // full frame, 8UC3 blue-green-red; the source's buffer
    cv::Mat curResPic; // processed picture, resW x resH, 8UC3
    int resW = 0; // processed picture size, set by setCurPicture
    int resH = 0;
    cv::Mat skinPic;
    cv::Mat bgPic;
    cv::Mat skinLikHist; // 16x16x16 CV_32F, values 0..255
    cv::Mat bgLikHist;   // 16x16x16 CV_32F, 0 or thresBg..255
    cv::Mat bgMap;       // resW x resH, 8UC1
    cv::Mat skinMap;     // resW x resH, 8UC1
    cv::Mat intBgMap;    // (resW+1) x (resH+1), CV_32S (CV_64F beyond integralDepth's limit)
    cv::Mat intSkinMap;  // (resW+1) x (resH+1), likewise

    std::unique_ptr<TorsoPartFil> torsoPF;
    std::unique_ptr<HeadPartFil> headPF;
    std::unique_ptr<ElbowPartFil> elbowPFR;
    std::unique_ptr<ElbowPartFil> elbowPFL;
    std::unique_ptr<HandPartFil> handPF;
    std::unique_ptr<IntFil> intTorsoFil;
    std::unique_ptr<IntFil> intHeadFil;
    std::unique_ptr<IntFil> intElbowRFil1;
    std::unique_ptr<IntFil> intElbowRFil2;
    std::unique_ptr<IntFil> intElbowRFil3;
    std::unique_ptr<IntFil> intHandFil; // drawn only

private:
    NearestMap nearest_; // the scaling of the image area, for its size
    BinLookup skinLookup_, bgLookup_;
    void initHeadFilter();
    void initTorsoFilter();
    void initElbowFilter();
    void initHandFilter();
};

} // namespace vestiga
