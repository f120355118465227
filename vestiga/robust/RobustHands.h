#pragma once
// The robust hand tracker: both hands followed as skin blobs that the face
// and the neck cannot capture, with a joint assignment that keeps each hand on
// its own blob.
//
// Each frame:
//  1. The skin map is thresholded into skin pixels (at a lower level when the
//     reference frame shows no two hands at the usual one); the face and
//     neck, as seen on the reference frame and moved with the head filter's
//     estimate, are marked as "not observable" rather than as skin or not
//     skin.
//  2. A box of about the hand's size slides over the picture; its fill is the
//     share of skin among its observable pixels. A hand fills it almost
//     completely, a bare forearm only partly, so the local maxima of the fill
//     are hand candidates, also for short sleeves. A hand in front of the
//     face shows no skin of its own; where a bare forearm runs into the face
//     or the neck, a candidate is put just beyond, and the rest of that
//     forearm's skin counts as arm, not hand (also the blob at the contact
//     when its skin is a band running into the face: the forearm's end,
//     narrower than a hand). A candidate with a bare
//     forearm behind it belongs to the arm on whose side of the body that
//     forearm lies: the elbow stays on its own side when the hands cross.
//     A bare forearm that the hidden neck or face cuts in two is one piece
//     of skin.
//  3. Each hand predicts its position from its last position and velocity.
//     The pair of candidates (or "not seen") for hand 1 and hand 2 with the
//     lowest joint cost is chosen: squared distance to the prediction over
//     the hand's uncertainty, minus the candidate's fill, a cost for a hand
//     not seen (lower where the face hides the skin), a cost for two hands
//     sharing one blob, a cost for a hand on the other arm's candidate, a
//     cost for a hand below its shoulder on a blob whose long axis lies
//     across the line to where its elbow would be (a hand and its wrist
//     point along the forearm, which tells crossed hands apart once they
//     part), a cost for each piece of skin with a hand-like candidate that
//     no hand explains, and a wall beyond the arm's reach from the hand's
//     shoulder.
//     A hand not seen, seen on the other arm's candidate, or seen while a
//     better hand-like blob lies free on its own piece of skin (the other
//     end of its bare forearm), grows its uncertainty, so that it is found
//     again on any unexplained blob once it has been lost for a while; two
//     hands that have shared one blob for a while with a hand-like blob free
//     elsewhere part, one of them taking the free blob; after a long share,
//     when their velocities have died out, they lean to part each on its own
//     side, unless the blobs' long axes tell otherwise. Hands whose forearms
//     say, a few frames running, that each sits on the other's blob swap.
//     A hand waiting behind the face does not join the other hand's blob
//     beside it: it stays, not seen.
//
// Everything is in processed-picture pixels (the image area scaled to 400
// pixels wide); distances are compared in units of its height R. No random
// draw: the same maps give the same positions.
#include <opencv2/core.hpp>

#include <array>
#include <vector>

namespace vestiga {

struct RobustOptions {
    int skinThreshold = 128;  // skin-map value (0..255) from which a pixel is skin
    int lowestSkinThreshold = 64; // a reference frame with fewer than two hand candidates lowers skinThreshold by 16s down to this; skinThreshold: never
    double boxSide = 0.6;     // candidate window side, in hand widths (the calibrated 0.4 shoulder distance)
    double minFill = 0.55;    // least share of skin among the window's observable pixels
    double minVisible = 0.35; // least share of observable pixels in the window
    double sigma = 0.05;      // spread of a seen hand's prediction, in units of R
    double sigmaGrowth = 0.1; // added per frame a hand is not seen, in units of R
    double sigmaMax = 0.6;
    double missCost = 3.0;    // cost of "not seen"
    double shareCost = 1.5;   // extra cost of two hands on one candidate
    double shareRadius = 1.0; // two hands share a candidate only within this many hand widths of both predictions
    double seedRadius = 0.7;  // bare skin this near a shoulder (in shoulder distances) starts an arm
    double limbRadius = 0.9;  // how far beyond a candidate the arm is followed, in hand widths
    double limbGain = 0.6;    // arm growth beyond a candidate that makes it a limb point, in hand widths
    double limbCost = 1.0;    // extra cost of a limb point
    double contactArea = 1.0; // least area of skin touching the face that makes a contact, in candidate windows
    double contactFill = 0.7; // fill given to a contact with the face
    double contactDepth = 0.5; // how far beyond the contact the hand lies, in hand widths
    double forearmEnd = 0.5;  // farther than this from a contact (in shoulder distances), its skin is the forearm
    double tipElong = 0.25;   // a candidate at a contact whose skin is a band this elongated into the face is the forearm's end; 0: never
    double unexplainedCost = 1.5; // cost of each piece of skin with a hand-like candidate (not a limb point) left to no hand
    double armCost = 2.0;     // cost of a hand on a candidate whose forearm leads to the other arm
    double armLength = 1.0;   // skin farther than this from a candidate (in hand widths) is its forearm
    double armMargin = 0.1;   // forearm skin counts on a side beyond this from the centre line, in shoulder distances
    double armShare = 0.85;   // least share of the forearm's skin on one side
    double armMinArea = 0.25; // least forearm skin that tells an arm, in candidate windows
    double armMaxArea = 8.0;  // larger pieces of skin tell no arm, in candidate windows
    double joinGap = 0.5;     // pieces of skin this close across the face or the neck are one arm, in hand widths; 0: never
    int shareRelease = 8;     // frames two hands share a blob before one takes a free hand-like blob; 0: never
    int partAfter = 6;        // frames two hands share a blob after which they lean to part on their own sides; 0: never
    double partCost = 0.3;    // the crossed-hands cost when they part so: a tie-break, below what the blobs' axes tell
    int swapAfter = 2;        // frames the forearms say that the hands sit on each other's blobs before they swap; 0: never
    double crossCost = 0.0;   // cost of crossed hands (each on the other's shoulder side of the other)
    double fillWeight = 2.0;  // weight of a candidate's fill (a better blob is cheaper)
    double velocityKeep = 0.6; // share of the last velocity in the prediction
    double reach = 1.75;      // arm reach, in shoulder distances
    double faceMargin = 2.0;  // growth of the face-and-neck mask, in pixels
    double faceSearch = 0.04; // search range of the face's shift per frame, in units of R
    double hiddenMissCost = 0.5; // cost of "not seen" for a hand expected where the face hides the skin
    double hiddenShare = 0.3; // least share of hidden pixels in the candidate window at a prediction that makes it so
    double hiddenStay = 0.25; // a hand put on the other's blob from a hidden position this far from it (hand widths) stays there, not seen; 0: never
    double axisCost = 4.0;    // weight of a blob's long axis across the line to the hand's expected elbow (hands below the shoulders)
};

// The side of the picture hand 1's shoulder is on: -1 the left (a signer
// filmed from the front), 1 the right (a mirrored picture). Crossed hands,
// the hands' starting sides, the arm a forearm tells and the way the elbows
// bend all follow it.
inline int handOneSide(const cv::Point2d& shoulderR, const cv::Point2d& shoulderL)
{
    return shoulderR.x <= shoulderL.x ? -1 : 1;
}

struct HandCandidate {
    cv::Point2d p;
    double fill = 0;
    // A point along a bare arm rather than at its end (an elbow, a forearm):
    // the skin goes on farther from the shoulder beyond it.
    bool limb = false;
    // Where a forearm's skin meets the face or the neck: the hand is in
    // front of them.
    bool atFace = false;
    // Which arm the candidate's skin leads back to: 1 for hand 1's (the
    // person's right), 2 for hand 2's, 0 when the skin does not tell.
    int arm = 0;
    // The piece of observable skin it lies on (1, 2, ...; the same number
    // for candidates on one piece), 0 when none is under it or the piece is
    // too large to be one arm.
    int piece = 0;
    // The long axis of the skin in its window (radians, modulo pi) and how
    // elongated that skin is (0: round, 1: a line).
    double axis = 0, elong = 0;
};

// The arm's links for placing an elbow, in shoulder distances.
constexpr double kUpperArmLength = 0.78, kForearmLength = 0.83;

// The elbow of a two-link arm in the picture plane: upper arm l1 from the
// shoulder, forearm l2 to the hand, bent away from the body (`outward` is -1
// for the arm on the picture's left, +1 for the other). The distance is kept
// within what the two links can span.
cv::Point2d elbowOf(const cv::Point2d& shoulder, const cv::Point2d& hand, double l1, double l2, double outward);

// The long axis and elongation of the skin in each candidate's window of
// `side` pixels, from its second moments. `observable` is non-zero where
// the skin is seen (not hidden), as findHandCandidates leaves it in
// CandidateWork::sk.
void measureAxes(std::vector<HandCandidate>& c, const cv::Mat& observable, int side);

// Work of markArms, kept between frames: a label image (zero between
// calls) and the pixels of the pieces filled, piece by piece.
struct ArmWork {
    cv::Mat labels;
    std::vector<cv::Point> pixels;
    std::vector<int> first; // piece l's pixels are [first[l - 1], first[l])
    std::vector<char> big;  // per label: too large to be one arm
};

// Which arm each candidate belongs to, from the bare forearm behind it. The
// elbow stays on its own side of the body even when the hands cross, so the
// skin of the candidate's piece (observable skin, 8-connected) farther than
// `minLen` pixels from it tells the arm when at least `minPixels` of it lie
// there and a share `minShare` of those lie more than `margin` pixels to one
// side of the body's centre line `midX`. `rightSide` is the side of hand 1's
// shoulder (-1: left of midX in the picture, 1: right). Pieces larger than
// `maxArea` pixels (skin that is more than one arm) and skin with no forearm
// (long sleeves) tell nothing: arm 0. An arm point takes the arm that the
// hand-like candidates of its piece tell, when they agree. Also numbers the
// pieces of at most `maxArea` pixels under the candidates
// (HandCandidate::piece).
void markArms(std::vector<HandCandidate>& c, const cv::Mat& skin, const cv::Mat& hidden, double midX, int rightSide,
              double minLen, double margin, int minPixels, double minShare, int maxArea, ArmWork* work = nullptr);

// A bare forearm passing in front of the neck or the chin shows as two
// pieces of observable skin, one on each side of the hidden band. Two
// pieces that markArms numbered are one arm when both are drawn out along
// the line between their centroids (an elongation of at least 0.4, from
// their second moments, and long axes within 30 degrees of that line), and
// a pixel of each, next to the hidden region, lie within `gap` pixels of
// each other with the straight line between them over hidden pixels only.
// The candidates of joined pieces take the lowest of their numbers. `w` is
// the ArmWork markArms filled.
void joinPiecesAcrossHidden(std::vector<HandCandidate>& c, const cv::Mat& hidden, double gap, const ArmWork& w);

// Distance from the shoulders along the skin: a breadth-first walk over the
// observable skin pixels (3 per straight step, 4 per diagonal one) from the
// skin within `seedRadius` pixels of either shoulder. -1 where unreached.
cv::Mat armDistance(const cv::Mat& skin, const cv::Mat& hidden, const cv::Point2d& shoulderR,
                    const cv::Point2d& shoulderL, double seedRadius, cv::Mat* reuse = nullptr);

// Marks the candidates after which the arm distance still grows by more than
// `gain` pixels within `radius` pixels: points along an arm, not its end.
void markLimbs(std::vector<HandCandidate>& c, const cv::Mat& dist, double radius, double gain);

// A hand in front of the face or the neck shows no skin of its own: only the
// forearm leading to it does, and that forearm's skin ends at the hidden
// region. For every piece of observable skin of at least `minArea` pixels
// that touches the hidden region, a candidate (flagged `atFace`, fill
// `contactFill`) is put `depth` pixels beyond the middle of the touching
// pixels, on the line from the piece's centroid through it (the forearm's
// direction, into the hidden region), unless a candidate already lies within
// `side` pixels of that middle (it is flagged `atFace`); the piece's
// candidates farther than `minDist` from it become limb points: the forearm
// and the elbow, not a hand. A candidate at the middle whose window's skin is
// a band along that direction (an elongation of at least `tipElong`, its
// long axis within 30 degrees) is the forearm's end, not a hand: it becomes a
// limb point and the candidate beyond is put all the same (`tipElong` 0:
// never). `labels` is reused work.
void addFaceContacts(std::vector<HandCandidate>& c, const cv::Mat& skin, const cv::Mat& hidden, int side,
                     double minArea, double minDist, double depth, double contactFill, double tipElong = 0,
                     cv::Mat* labels = nullptr);

// Skin pixels (255) of a skin map.
cv::Mat skinMask(const cv::Mat& skinMap, int threshold);

// Work images of findHandCandidates, kept between frames so that no frame
// allocates them again.
struct CandidateWork {
    cv::Mat vis, sk, num, den, fill, smooth, dil; // sk: 1 on observable skin, 0 elsewhere
};

// Hand candidates: local maxima of the window fill over `skin` (8-bit 0/255)
// where `hidden` (8-bit, non-zero = not observable; may be empty) is left
// out, at least `side` apart, strongest first. Deterministic order: fill
// descending, then row, then column.
std::vector<HandCandidate> findHandCandidates(const cv::Mat& skin, const cv::Mat& hidden, int side,
                                              const RobustOptions& o, CandidateWork* work = nullptr);

// The joint choice for two hands. `pred` and `sigma` are the hands'
// predictions and spreads (units of R in sigma), `shoulder` their shoulders;
// `reachPx` the arm reach, `handPx` the hand width and R the unit, all in
// pixels; `missCost` the cost of "not seen" per hand (null: o.missCost for
// both, see missCosts). Returns per hand the candidate index or -1 for "not
// seen".
std::array<int, 2> assignHands(const std::vector<HandCandidate>& c, const std::array<cv::Point2d, 2>& pred,
                               const std::array<double, 2>& sigma, const std::array<cv::Point2d, 2>& shoulder,
                               double reachPx, double handPx, double R, const RobustOptions& o,
                               const std::array<double, 2>* missCost = nullptr);

// The terms of assignHands' cost for one pair (a, b; -1: not seen), for
// looking at why a pair wins: the distances to the predictions, minus the
// candidates' fills, the arm points, candidates of the other hand's arm, the
// hands not seen, the pieces of skin with a hand-like candidate left
// unexplained, crossed hands and a shared blob. `allowed` is
// false for a pair assignHands never takes (a candidate out of reach, a
// shared blob that is not at both predictions).
struct PairCost {
    double distance = 0, fill = 0, limb = 0, arm = 0, axis = 0, miss = 0, unexplained = 0, cross = 0, share = 0;
    bool allowed = true;
    double total() const { return distance - fill + limb + arm + axis + miss + unexplained + cross + share; }
};
// A hand expected where the face and the neck hide the skin cannot be seen
// there, whether it is in front of them or not: its "not seen" costs
// o.hiddenMissCost instead of o.missCost when at least a share o.hiddenShare
// of the window of `side` pixels at its prediction `pred` is hidden (`hidden`
// non-zero), so that it waits there rather than jumping onto the other hand's
// blob.
std::array<double, 2> missCosts(const std::array<cv::Point2d, 2>& pred, const cv::Mat& hidden, int side,
                                const RobustOptions& o);

PairCost pairCost(const std::vector<HandCandidate>& c, const std::array<cv::Point2d, 2>& pred,
                  const std::array<double, 2>& sigma, const std::array<cv::Point2d, 2>& shoulder, double reachPx,
                  double handPx, double R, const RobustOptions& o, int a, int b,
                  const std::array<double, 2>* missCost = nullptr);

// One hand as the assignment follows it, in processed pixels.
struct HandTrack {
    cv::Point2d pos, vel;
    int missed = 0;   // frames since it was last seen
    double conf = 0;  // 0..1, see RobustHands::confidence
};

// Where both hands are expected on the next frame (the last position moved
// by part of the last velocity, inside a picture of `size`) and their
// spreads (growing while a hand is not seen).
void predictHands(const std::array<HandTrack, 2>& k, const RobustOptions& o, cv::Size size,
                  std::array<cv::Point2d, 2>& pred, std::array<double, 2>& sigma);

// Two hands that share candidate a[0] == a[1] while a hand-like candidate on
// another piece of skin lies free: the strongest free one goes to the hand
// its forearm tells, else to the hand whose shoulder is on its side of the
// shared blob, if within that shoulder's reach `reachPx`. Returns the hand
// moved, or -1.
int releaseShared(std::array<int, 2>& a, const std::vector<HandCandidate>& c, const std::array<cv::Point2d, 2>& shoulder,
                  double reachPx);

// Whether the forearms say that the hands of the choice `a` sit on each
// other's blobs: both seen on different candidates, one of them on a
// candidate of the other's arm, and the other not on a candidate of its own.
bool armsSaySwapped(const std::vector<HandCandidate>& c, const std::array<int, 2>& a);

// Whether hand h of the choice `a` sits on a candidate while a better blob
// lies free on the same piece of skin: a hand-like candidate (not an arm
// point) that neither hand takes, with a higher fill. Neither candidate may
// be one that a forearm gives to the other arm. A bare forearm has a blob at
// each end; a hand left on its elbow end, or on the forearm, while the hand
// itself is at the other end is seen there every frame and would never move
// over.
bool betterBlobOnPiece(const std::vector<HandCandidate>& c, const std::array<int, 2>& a, int h);

// Both hands after the choice `a` among `c` (-1: not seen, the hand keeps
// its prediction `pred`). A hand on a candidate of the other arm, or with a
// better blob free on its piece of skin (betterBlobOnPiece), moves there but
// counts as not seen for its spread, so that its search widens to the blob
// it should be on.
void advanceHands(std::array<HandTrack, 2>& k, const std::vector<HandCandidate>& c,
                  const std::array<cv::Point2d, 2>& pred, const std::array<int, 2>& a);

class RobustHands {
public:
    struct Setup {
        cv::Point2d shoulderR, shoulderL; // processed pixels
        double handWidth = 0;             // pixels
        double shoulderDistance = 0;      // pixels
        double R = 0;                     // processed picture height
    };

    // `skinMap` of the reference frame and the head's position on it: the
    // face-and-neck template is the skin around the head and down to the
    // shoulders; the hands start on the best candidates on each side of the
    // body, or below their shoulders.
    void initialize(const cv::Mat& skinMap, const cv::Point2d& head, const cv::Rect& headBox, const Setup& s,
                    const RobustOptions& o = RobustOptions());
    // One frame: the skin map. The face is found by matching the reference
    // frame's skin pattern around the head (face, hair, neck) near where it
    // was on the last frame.
    void update(const cv::Mat& skinMap);
    // The face's position (the head box centre) on the last frame, and how
    // well the reference pattern matched there (0..1).
    const cv::Point2d& head() const { return head_; }
    double headConfidence() const { return headConf_; }

    const cv::Point2d& hand(int i) const { return tracks_[static_cast<size_t>(i)].pos; }
    // 0..1: the fill of the blob the hand was found on, lowered while it is
    // not seen or shares its blob.
    double confidence(int i) const { return tracks_[static_cast<size_t>(i)].conf; }
    const std::array<HandTrack, 2>& tracks() const { return tracks_; }
    const Setup& setup() const { return s_; }
    const RobustOptions& options() const { return o_; }
    // The candidate window's side, in pixels.
    int windowSide() const { return side_; }
    const std::vector<HandCandidate>& candidates() const { return cand_; }
    const cv::Mat& hidden() const { return hidden_; }

private:
    // The face-and-neck pattern of the reference frame's skin `skin`, and
    // the hidden region at it.
    void learnFace(const cv::Mat& skin, const cv::Rect& headBox);
    void hideFace(cv::Size size);
    void findFace(const cv::Mat& skin);

    RobustOptions o_;
    Setup s_;
    int side_ = 0;
    cv::Mat faceSkin_;     // 8-bit 0/255, the skin around the head on the reference frame
    int faceCount_ = 0;    // its skin pixels
    cv::Mat score_;        // work image of findFace
    cv::Mat faceTemplate_; // faceSkin_ grown by the margin: what is hidden
    cv::Rect faceRegion_;  // where faceSkin_ lies on the reference frame
    cv::Point2d head0_;    // head box centre on the reference frame
    cv::Point shift_;      // the face's shift from the reference frame
    cv::Point2d head_;
    double headConf_ = 0;
    cv::Mat hidden_;
    cv::Mat skin_, dist_, labels_;
    ArmWork armWork_;
    int sharedFor_ = 0;
    int swappedFor_ = 0; // frames armsSaySwapped has held
    CandidateWork work_;
    std::vector<HandCandidate> cand_;
    std::array<HandTrack, 2> tracks_;
};

} // namespace vestiga
