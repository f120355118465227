#pragma once
// Finding the signer's face in a reference picture, two ways:
// - the stock face detector of OpenCV (a boosted cascade of Haar features,
//   installed with the OpenCV data files), which works on real faces;
// - a skin-colour search for drawn or unusual faces the detector misses: the
//   skin-coloured regions of a generic skin model, scored on how much they look
//   like a face (elliptical, left-right symmetric, high in the picture).
#include <opencv2/core.hpp>

#include <string>
#include <vector>

namespace vestiga::propose {

// Folders searched for the stock cascade files, in order: $VESTIGA_CASCADE_DIR
// when set, then the places Debian and a source-built OpenCV install them.
std::vector<std::string> cascadeSearchPath();
// The full path of the first readable `name` in the search path, or an empty
// string with a message naming the folders searched.
std::string findCascadeFile(const std::string& name, std::string* error);
// The face detector's file name looked for by default.
extern const char* const kDefaultCascade;

// Faces the cascade in `cascadeFile` finds in a blue-green-red picture, the
// largest first. Faces narrower than minFaceShare of the picture's height are
// ignored. Returns false with a message when the file cannot be loaded.
bool detectFaces(const cv::Mat& bgr, const std::string& cascadeFile, double minFaceShare,
                 std::vector<cv::Rect>* faces, std::string* error);

// 255 where a pixel's colour lies in a generic skin region of the YCrCb space
// (Cr 135..180, Cb 85..135, luma 55 or more): wide enough for light and dark
// skins under indoor light, narrow enough to leave out grey, blue and green.
cv::Mat genericSkinMask(const cv::Mat& bgr);

// A skin-coloured region judged to be a face.
struct SkinFace {
    cv::Rect face;          // forehead (or hairline) to chin, without the neck
    double score = 0;       // larger is more face-like
    double symmetry = 0;    // left-right mirror overlap, 0..1
    double fill = 0;        // share of the bounding ellipse covered, 0..1
};

// The face-like skin regions of the picture, best first. The neck, which has
// the face's colour, is cut off where the region's width falls to the neck's.
std::vector<SkinFace> findSkinFaces(const cv::Mat& bgr);

// The face's own skin colour, learned from the central half of a face box: a
// Gaussian over (Cr, Cb). Pixels within `limit` standard deviations are skin.
struct SkinColour {
    cv::Vec2d mean{0, 0};
    cv::Matx22d inverseCovariance = cv::Matx22d::eye();
    bool valid = false;
};
SkinColour learnSkinColour(const cv::Mat& bgr, const cv::Rect& face);
cv::Mat skinMask(const cv::Mat& bgr, const SkinColour& colour, double limit = 3.0);

} // namespace vestiga::propose
