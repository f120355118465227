#pragma once
// A calibration proposed from the video itself: the image area, the head box,
// both shoulders and the sleeves, read off the reference frame and the first
// seconds after it, in the calibration file's terms (pixels of the reference
// frame, origin top-left, y down).
//
// How: the face (stock face detector, or a face-like skin region when the
// detector finds none), the head box around it (its sides and the top of the
// hair from the silhouette where it shows them), the silhouette (foreground
// against the median of the first seconds and against the colours beside the
// head, or a graph cut where that does not show the shoulders or nothing
// moved), the shoulders at the corners of its upper edge beside the head,
// where it turns from running level to running down the arms, the image area
// from the arms' reach around them, and the sleeves from how far skin reaches
// beside the hands.
// Everything is deterministic.
#include "run/Calibration.h"

#include <opencv2/core.hpp>

#include <string>
#include <vector>

namespace vestiga {

struct ProposalOptions {
    int referenceFrame = 0;    // the frame the calibration is for
    double seconds = 2.0;      // the stretch after it looked at for motion and the background
    int sampleFrames = 10;     // pictures taken over that stretch, evenly spread
    std::string cascadeFile;   // face detector; empty: the stock one, searched for
    bool useDetector = true;   // false: skin-colour search only
    double minLuma = 40;       // a reference frame whose brightest tenth is darker than this is refused
};

enum class ProposalStatus {
    Found = 0,    // a calibration was proposed
    NoSigner = 1, // no face, several faces or a frame too dark: nothing proposed
    BadInput = 2, // the video cannot be read or the options are wrong
};

struct Proposal {
    CalibrationFile calibration;
    cv::Rect2d face;                // the face alone, as found
    std::string faceMethod;         // "face detector" or "skin colour"
    std::string shoulderMethod;     // "silhouette" or "graph cut" (", one side mirrored"), or "head proportions"
    double forearmSkin = 0;         // longest skin region beside the face, in face heights (above 1.2: bare forearms)
    cv::Mat reference;              // the reference frame looked at
    std::string note;               // a warning worth showing (the face detector is missing), or empty
};

// The proposal from the reference picture and pictures of the first seconds
// (which may include it; may be empty). `message` says why nothing was found.
ProposalStatus proposeFromPictures(const cv::Mat& reference, const std::vector<cv::Mat>& frames,
                                   const ProposalOptions& options, Proposal* out, std::string* message);

// The same from a video file: its frame options.referenceFrame and pictures
// of the following options.seconds.
ProposalStatus proposeFromVideo(const std::string& path, const ProposalOptions& options, Proposal* out,
                                std::string* message);

// The proposal drawn over a copy of the reference picture, as the clicks of
// the calibration view would mark it: the image area, the head box, the two
// shoulders joined, and the face found.
cv::Mat drawProposal(const Proposal& proposal);

// A one-line summary for a terminal: the area, head, shoulders, sleeves and
// how the face and shoulders were found.
std::string describeProposal(const Proposal& proposal);

} // namespace vestiga
