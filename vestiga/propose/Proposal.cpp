#include "propose/Proposal.h"

#include "media/VideoFile.h"
#include "propose/FaceSearch.h"
#include "propose/Silhouette.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vestiga {

namespace {

using namespace propose;

ProposalStatus refuse(ProposalStatus status, std::string* message, const std::string& why)
{
    if (message)
        *message = why;
    return status;
}

std::string rectText(const cv::Rect2d& r)
{
    char buf[96];
    std::snprintf(buf, sizeof buf, "%.0f,%.0f %.0fx%.0f", r.x, r.y, r.width, r.height);
    return buf;
}

// The face the proposal is built around, or why there is none.
ProposalStatus findFace(const cv::Mat& ref, const ProposalOptions& options, Proposal* p, std::string* message)
{
    std::vector<cv::Rect> detected;
    if (options.useDetector) {
        std::string why;
        std::string file = options.cascadeFile;
        if (file.empty())
            file = findCascadeFile(kDefaultCascade, &why);
        if (file.empty()) {
            p->note = why + "; looking for the face by its skin colour only";
        } else if (!detectFaces(ref, file, 0.08, &detected, &why)) {
            // A file named by the caller must work; a damaged installation
            // leaves the skin-colour search.
            if (!options.cascadeFile.empty())
                return refuse(ProposalStatus::BadInput, message, why);
            p->note = why + "; looking for the face by its skin colour only";
        }
    }
    // A face shows skin: a detection whose centre has hardly any skin colour
    // is a pattern on a shirt or a wall. Pictures without colour (grey
    // video) cannot be checked that way and keep every detection.
    cv::Mat hsv;
    cv::cvtColor(ref, hsv, cv::COLOR_BGR2HSV);
    const bool coloured = cv::mean(hsv)[1] >= 12;
    if (coloured) {
        const cv::Mat skin = genericSkinMask(ref);
        std::vector<cv::Rect> kept;
        for (const cv::Rect& f : detected) {
            const cv::Rect centre(f.x + f.width / 4, f.y + f.height / 4, f.width / 2, f.height / 2);
            if (centre.area() > 0 && cv::countNonZero(skin(centre)) >= 0.25 * centre.area())
                kept.push_back(f);
        }
        detected = kept;
    }
    if (!detected.empty()) {
        // Detections much smaller than the largest are faces in the
        // background or false alarms; similar ones are other people.
        std::vector<cv::Rect> people;
        for (const cv::Rect& f : detected)
            if (f.width >= 0.6 * detected.front().width)
                people.push_back(f);
        if (people.size() > 1) {
            std::string where;
            for (const cv::Rect& f : people)
                where += (where.empty() ? "" : "; ") + rectText(f);
            return refuse(ProposalStatus::NoSigner, message,
                          std::to_string(people.size()) + " faces in the reference frame (" + where
                              + "); the proposal needs one signer alone in the picture");
        }
        const cv::Rect& f = people.front();
        p->face = cv::Rect2d(f.x, f.y, f.width, f.height);
        p->faceMethod = "face detector";
        return ProposalStatus::Found;
    }
    const std::vector<SkinFace> skin = findSkinFaces(ref);
    if (skin.empty())
        return refuse(ProposalStatus::NoSigner, message,
                      "no face in the reference frame: neither the face detector nor the skin-colour search "
                      "found one; choose a frame where the signer faces the camera");
    p->face = skin.front().face;
    p->faceMethod = "skin colour";
    return ProposalStatus::Found;
}

// The length of the longest skin region outside the head and neck, in face
// heights, median over the pictures. A hand alone is well under a face height
// long; a hand with its bare forearm about two.
double forearmSkin(const std::vector<const cv::Mat*>& pictures, const cv::Rect2d& face, const cv::Rect2d& head,
                   double shoulderRow)
{
    const cv::Mat& ref = *pictures.front();
    const SkinColour colour = learnSkinColour(ref, cv::Rect(face));
    if (!colour.valid)
        return 0;
    const cv::Rect frame(0, 0, ref.cols, ref.rows);
    // The head, and the neck down to the shoulders' level.
    const cv::Rect hidden = cv::Rect(cv::Point(cvFloor(head.x - 0.1 * head.width), cvFloor(head.y)),
                                     cv::Point(cvCeil(head.x + 1.1 * head.width),
                                               cvCeil(std::max(head.y + head.height, shoulderRow + 0.3 * head.height))))
                            & frame;
    std::vector<double> ratios;
    for (const cv::Mat* pic : pictures) {
        cv::Mat mask = skinMask(*pic, colour);
        mask(hidden).setTo(0);
        cv::morphologyEx(mask, mask, cv::MORPH_OPEN, cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(5, 5)));
        std::vector<std::vector<cv::Point>> regions;
        cv::findContours(mask, regions, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
        double longest = 0;
        for (const auto& r : regions) {
            if (cv::contourArea(r) < 0.05 * face.area())
                continue; // specks of skin colour in the background
            const cv::Size2f s = cv::minAreaRect(r).size;
            longest = std::max(longest, double(std::max(s.width, s.height)));
        }
        ratios.push_back(longest / face.height);
    }
    std::nth_element(ratios.begin(), ratios.begin() + static_cast<std::ptrdiff_t>(ratios.size() / 2), ratios.end());
    return ratios[ratios.size() / 2];
}

// The middle of the chest on a foreground mask: the median, over the rows
// from a third to two thirds of a head height under the chin, of the middle of
// the foreground run through the face's midline column (gaps of a twentieth
// of a head width bridged). The face's midline where the chest does not show
// or its middle strays more than half a head width from it.
double chestMiddle(const cv::Mat& fg, const cv::Rect2d& head, double midline)
{
    const int xm = static_cast<int>(std::lround(midline));
    const int maxGap = std::max(2, static_cast<int>(0.05 * head.width));
    const int reach = static_cast<int>(std::lround(2.0 * head.width));
    const double chin = head.y + head.height;
    std::vector<double> middles;
    for (int y = static_cast<int>(std::lround(chin + 0.33 * head.height));
         y <= static_cast<int>(std::lround(chin + 0.67 * head.height)); ++y) {
        if (y < 0 || y >= fg.rows || xm < 0 || xm >= fg.cols || !fg.at<uchar>(y, xm))
            continue;
        const uchar* p = fg.ptr<uchar>(y);
        const int lo = std::max(0, xm - reach), hi = std::min(fg.cols - 1, xm + reach);
        middles.push_back(0.5 * (runEnd(p, xm, -1, lo, hi, maxGap) + runEnd(p, xm, +1, lo, hi, maxGap)));
    }
    if (middles.empty())
        return midline;
    std::nth_element(middles.begin(), middles.begin() + static_cast<std::ptrdiff_t>(middles.size() / 2), middles.end());
    const double m = middles[middles.size() / 2];
    return std::fabs(m - midline) <= 0.5 * head.width ? m : midline;
}

// The shoulders on a foreground mask, where the body's upper edge beside the
// head turns from running level to running down along the arm: the corner of
// the shoulder, seen from above. The clicked shoulder is the arm's joint,
// inside that corner: a tenth of the head's width in and 0.15 of its height
// down. The edge is looked for
// from the middle of the head down, because a raised shoulder or a signer
// leaning forward puts the shoulders level with the chin; the columns of the
// head itself, and the step down from its side, are left out. Returns how
// many sides were read (0, 1 or 2); a side that cannot be read (an arm held
// out level hides the corner) is the other mirrored about the midline, and
// with neither both come from the head's proportions.
int readShoulders(const cv::Mat& fg, const cv::Rect2d& head, double midline, cv::Point2d* sR, cv::Point2d* sL)
{
    const int fromRow = static_cast<int>(std::lround(head.y + 0.5 * head.height));
    const int rows = static_cast<int>(std::lround(1.7 * head.height));
    const int reach = static_cast<int>(std::lround(2.0 * head.width));
    const int span = std::max(3, static_cast<int>(std::lround(0.15 * head.height)));
    const int from = static_cast<int>(std::lround(0.55 * head.width)) + span;
    const int to = static_cast<int>(std::lround(1.5 * head.width));
    const double drop = 0.15 * head.height, inset = 0.1 * head.width;
    const std::vector<double> topR = topEdge(fg, midline, -1, fromRow, rows, reach);
    const std::vector<double> topL = topEdge(fg, midline, +1, fromRow, rows, reach);
    const int dR = shoulderColumn(topR, from, to, span);
    const int dL = shoulderColumn(topL, from, to, span);
    // The shoulders of an average adult, for when the edge cannot be read and
    // to check what it gives: a head width out from the midline and a third
    // of a head height under the chin. A shoulder read off the edge is kept
    // when it lies between the head's middle and a head height under the chin;
    // anything else is an edge that strayed into the background.
    const double priorY = head.y + head.height + 0.35 * head.height;
    auto rowOf = [&](const std::vector<double>& top, int d) { return fromRow + top[d] + drop; };
    auto plausible = [&](const std::vector<double>& top, int d) {
        if (d < 0)
            return false;
        const double y = rowOf(top, d);
        return y >= head.y + 0.6 * head.height && y <= head.y + 2.0 * head.height;
    };
    bool haveR = plausible(topR, dR);
    bool haveL = plausible(topL, dL);
    if (haveR && haveL
        && (std::abs(dR - dL) > 0.5 * head.width || std::fabs(rowOf(topR, dR) - rowOf(topL, dL)) > 0.4 * head.height)) {
        // A signer facing the camera has the shoulders about level and as far
        // out on both sides: one of two that are not has come from something
        // else (an arm held against the body, the background). The one
        // nearer where the head's proportions put it is kept.
        auto offPrior = [&](const std::vector<double>& top, int d) {
            return std::fabs(d - head.width) / head.width + std::fabs(rowOf(top, d) - priorY) / head.height;
        };
        (offPrior(topR, dR) <= offPrior(topL, dL) ? haveL : haveR) = false;
    }
    if (haveR)
        *sR = cv::Point2d(midline - (dR - inset), rowOf(topR, dR));
    if (haveL)
        *sL = cv::Point2d(midline + (dL - inset), rowOf(topL, dL));
    // A turned or tilted head is not centred over the body: a missing side is
    // mirrored about the middle of the chest.
    const double axis = chestMiddle(fg, head, midline);
    if (haveR && !haveL)
        *sL = cv::Point2d(2 * axis - sR->x, sR->y);
    if (haveL && !haveR)
        *sR = cv::Point2d(2 * axis - sL->x, sL->y);
    if (!haveR && !haveL) {
        *sR = cv::Point2d(midline - head.width, priorY);
        *sL = cv::Point2d(midline + head.width, priorY);
    }
    return int(haveR) + int(haveL);
}

// Whether a foreground mask shows the body at all: most of the chest under
// the head (half a head width either side of the midline, from a third to one
// head height under the chin) must be foreground. Where the clothes share
// their colours with a cluttered background, the colours beside the head
// leave too little of the chest to read shoulders from.
bool chestShown(const cv::Mat& fg, const cv::Rect2d& head, double midline)
{
    const double chin = head.y + head.height;
    const cv::Rect chest = cv::Rect(cv::Point(cvFloor(midline - 0.5 * head.width), cvFloor(chin + 0.33 * head.height)),
                                    cv::Point(cvCeil(midline + 0.5 * head.width), cvCeil(chin + head.height)))
                           & cv::Rect(0, 0, fg.cols, fg.rows);
    return chest.area() > 0 && cv::countNonZero(fg(chest)) >= 0.6 * chest.area();
}

// The image area around the body: an arm stretched out sideways, hand
// included, reaches about three head heights beyond its shoulder, a hand
// raised one head height above the head, and hands at rest lie within five
// head heights below the shoulders. Inside the picture and at least as wide
// as tall.
cv::Rect2d imageArea(const cv::Size& pic, const cv::Rect2d& head, const cv::Point2d& sR, const cv::Point2d& sL)
{
    const double reach = 3.0 * head.height;
    double x0 = std::min(sR.x, sL.x) - reach, x1 = std::max(sR.x, sL.x) + reach;
    double y0 = head.y - head.height, y1 = std::max(sR.y, sL.y) + 5.0 * head.height;
    x0 = std::max(0.0, std::floor(x0));
    x1 = std::min(double(pic.width), std::ceil(x1));
    y0 = std::max(0.0, std::floor(y0));
    y1 = std::min(double(pic.height), std::ceil(y1));
    double w = x1 - x0, h = y1 - y0;
    if (h > w) {
        // Wider first, evenly on both sides as far as the picture allows ...
        const double grow = std::min(h, double(pic.width)) - w;
        double left = std::floor(grow / 2), right = grow - left;
        const double roomL = x0, roomR = pic.width - x1;
        if (left > roomL) {
            right += left - roomL;
            left = roomL;
        }
        if (right > roomR) {
            left = std::min(roomL, left + right - roomR);
            right = roomR;
        }
        x0 -= left;
        x1 += right;
        w = x1 - x0;
        // ... then shorter from the bottom.
        if (h > w)
            h = w;
    }
    return cv::Rect2d(x0, y0, w, h);
}

} // namespace

ProposalStatus proposeFromPictures(const cv::Mat& reference, const std::vector<cv::Mat>& frames,
                                   const ProposalOptions& options, Proposal* out, std::string* message)
{
    if (reference.empty() || reference.type() != CV_8UC3)
        return refuse(ProposalStatus::BadInput, message, "the reference frame is not an 8-bit colour picture");
    if (reference.cols < 32 || reference.rows < 32)
        return refuse(ProposalStatus::BadInput, message, "the reference frame is too small (32x32 pixels at least)");
    for (const cv::Mat& f : frames)
        if (f.size() != reference.size() || f.type() != reference.type())
            return refuse(ProposalStatus::BadInput, message, "the frames differ in size or type from the reference frame");

    cv::Mat grey;
    cv::cvtColor(reference, grey, cv::COLOR_BGR2GRAY);
    // Too dark: even the brightest tenth of the picture (where a lit face
    // would be) stays under minLuma. A dark scene with a lit signer passes.
    int histogram[256] = {0};
    for (int y = 0; y < grey.rows; ++y) {
        const uchar* g = grey.ptr<uchar>(y);
        for (int x = 0; x < grey.cols; ++x)
            ++histogram[g[x]];
    }
    int luma = 255;
    for (long below = 0; luma > 0; --luma) {
        below += histogram[luma];
        if (10 * below >= static_cast<long>(grey.total()))
            break;
    }
    if (luma < options.minLuma) {
        char buf[200];
        std::snprintf(buf, sizeof buf,
                      "the reference frame is too dark to find the signer (its brightest tenth reaches %d of 255, "
                      "%.0f needed)",
                      luma, options.minLuma);
        return refuse(ProposalStatus::NoSigner, message, buf);
    }

    Proposal p;
    p.reference = reference;
    const ProposalStatus found = findFace(reference, options, &p, message);
    if (found != ProposalStatus::Found)
        return found;
    const cv::Rect2d frame(0, 0, reference.cols, reference.rows);
    p.face &= frame;
    const cv::Rect2d& face = p.face;

    // The silhouette: foreground against the median of the first seconds and
    // against the colours beside the head.
    std::vector<cv::Mat> stack;
    for (const cv::Mat& f : frames)
        if (f.isContinuous())
            stack.push_back(f);
        else
            stack.push_back(f.clone());
    const cv::Mat median = stack.size() >= 3 ? medianPicture(stack) : cv::Mat();
    const cv::Mat beside = besideHeadMask(reference.size(), face);
    const cv::Mat fg = foregroundMask(reference, median, beside);
    // What moved over the first seconds. A clip where nothing does (a still
    // picture, a signer waiting) leaves the colours beside the head as the
    // only sign of the background, too weak where a cluttered background
    // shares the clothes' colours.
    const cv::Mat moved = foregroundMask(reference, median, cv::Mat());
    const bool motion = cv::countNonZero(moved) >= 0.005 * double(moved.total());

    // The head around the face. The detector's box runs from the forehead to
    // the chin, between the cheeks; a skin region from the hairline to the
    // chin. The head's sides, hair and ears included, are those of the
    // silhouette at the face's height when it shows them (between 0.9 and 1.6
    // face widths apart, and holding the face's middle half); otherwise the
    // head is a fifth (detector) or a tenth (skin region, whose sides are the
    // cheeks already) wider than the face. Its top is the top of the hair in
    // the silhouette or, unless that shows, about half the detector box's
    // height (a sixth of a skin region's) above the face.
    const bool detector = p.faceMethod == "face detector";
    const double widen = detector ? 1.2 : 1.1;
    const double defaultRise = detector ? 0.45 : 0.15, minRise = detector ? 0.15 : 0.05, maxRise = 0.8;
    const double silhouetteTop = headTop(fg, face, maxRise);
    const double rise = face.y - silhouetteTop;
    const bool hairSeen = rise >= minRise * face.height && rise < maxRise * face.height - 1;
    const double top = hairSeen ? silhouetteTop : face.y - defaultRise * face.height;
    const double bottom = face.y + face.height;
    double left = face.x - 0.5 * (widen - 1) * face.width, right = left + widen * face.width;
    double sideL = 0, sideR = 0;
    if (headSides(fg, face, &sideL, &sideR) && sideR - sideL >= 0.9 * face.width && sideR - sideL <= 1.6 * face.width
        && sideL <= face.x + 0.25 * face.width && sideR >= face.x + 0.75 * face.width) {
        left = sideL;
        right = sideR;
    }
    cv::Rect2d head(left, top, right - left, bottom - top);
    head &= frame;

    // The shoulders from the silhouette; when it does not show both, or
    // nothing moved, from a graph cut of the picture (slower, for cluttered
    // backgrounds), which also weighs where the colours lie and the edges.
    const double midline = face.x + 0.5 * face.width;
    cv::Point2d sR, sL; // the person's right shoulder (left in the picture) and left
    int sides = chestShown(fg, head, midline) ? readShoulders(fg, head, midline, &sR, &sL) : 0;
    std::string via = "silhouette";
    if (sides < 2 || !motion) {
        const cv::Mat cut = graphCutForeground(reference, face, head) | moved;
        cv::Point2d cR, cL;
        const int cutSides = readShoulders(cut, head, midline, &cR, &cL);
        if (cutSides > sides || (!motion && cutSides == sides)) {
            sides = cutSides;
            sR = cR;
            sL = cL;
            via = "graph cut";
        }
    }
    p.shoulderMethod = sides == 2 ? via : sides == 1 ? via + ", one side mirrored" : "head proportions";
    auto inside = [&](cv::Point2d s) {
        return cv::Point2d(std::round(std::min(reference.cols - 1.0, std::max(0.0, s.x))),
                           std::round(std::min(reference.rows - 1.0, std::max(0.0, s.y))));
    };
    sR = inside(sR);
    sL = inside(sL);

    const cv::Rect2d area = imageArea(reference.size(), head, sR, sL);
    // Whole pixels, and the head inside the image area.
    head = cv::Rect2d(std::round(head.x), std::round(head.y), std::round(head.width), std::round(head.height)) & area;

    std::vector<const cv::Mat*> pictures{&reference};
    for (const cv::Mat& f : frames)
        pictures.push_back(&f);
    p.forearmSkin = forearmSkin(pictures, face, head, std::max(sR.y, sL.y));

    CalibrationFile& c = p.calibration;
    const double a[4] = {area.x, area.y, area.width, area.height};
    const double h[4] = {head.x, head.y, head.width, head.height};
    const double s[4] = {sR.x, sR.y, sL.x, sL.y};
    std::copy(a, a + 4, c.area);
    std::copy(h, h + 4, c.head);
    std::copy(s, s + 4, c.shoulders);
    c.referenceFrame = options.referenceFrame;
    c.sleevesToWrist = p.forearmSkin <= 1.2;

    const std::string why = checkCalibration(c, reference.cols, reference.rows);
    if (!why.empty())
        return refuse(ProposalStatus::NoSigner, message, "the signer found gives no usable calibration: " + why);
    *out = p;
    return ProposalStatus::Found;
}

ProposalStatus proposeFromVideo(const std::string& path, const ProposalOptions& options, Proposal* out,
                                std::string* message)
{
    if (options.referenceFrame < 0)
        return refuse(ProposalStatus::BadInput, message, "the reference frame must be 0 or more");
    media::VideoFile video;
    std::string why;
    if (!video.open(path, &why))
        return refuse(ProposalStatus::BadInput, message, why);
    const int64_t count = video.frameCount();
    if (options.referenceFrame >= count)
        return refuse(ProposalStatus::BadInput, message,
                      "reference frame " + std::to_string(options.referenceFrame) + " is out of range: " + path
                          + " has " + std::to_string(count) + " frames");
    // The reference frame, then every frame of the stretch in order (one
    // decode each, no seeking), keeping an even spread of them.
    const int64_t first = options.referenceFrame;
    const int64_t last = std::min<int64_t>(count - 1, first + std::max<int64_t>(0, std::llround(options.seconds * video.fps())));
    const int wanted = std::max(1, options.sampleFrames);
    std::vector<int64_t> keep;
    for (int i = 0; i < wanted; ++i) {
        const int64_t k = wanted == 1 ? first : first + (last - first) * i / (wanted - 1);
        if (keep.empty() || keep.back() != k)
            keep.push_back(k);
    }
    cv::Mat reference, f;
    std::vector<cv::Mat> frames;
    size_t next = 0;
    for (int64_t k = first; k <= last && next < keep.size(); ++k) {
        if (!video.frame(k, f)) {
            if (k == first)
                return refuse(ProposalStatus::BadInput, message,
                              path + ": frame " + std::to_string(k) + " cannot be decoded");
            break; // a damaged stretch: what was read so far is enough
        }
        if (k == first)
            reference = f.clone();
        if (k == keep[next]) {
            frames.push_back(f.clone());
            ++next;
        }
    }
    return proposeFromPictures(reference, frames, options, out, message);
}

cv::Mat drawProposal(const Proposal& p)
{
    const cv::Mat& reference = p.reference;
    cv::Mat pic = reference.clone();
    const CalibrationFile& c = p.calibration;
    const int t = std::max(1, reference.cols / 320);
    auto rect = [&](const double* r, const cv::Scalar& colour, int thickness) {
        cv::rectangle(pic, cv::Point2d(r[0], r[1]), cv::Point2d(r[0] + r[2] - 1, r[1] + r[3] - 1), colour, thickness);
    };
    const double face[4] = {p.face.x, p.face.y, p.face.width, p.face.height};
    rect(face, cv::Scalar(0, 220, 255), 1);
    rect(c.area, cv::Scalar(0, 200, 0), t);
    rect(c.head, cv::Scalar(0, 0, 255), t);
    const cv::Point2d sR(c.shoulders[0], c.shoulders[1]), sL(c.shoulders[2], c.shoulders[3]);
    cv::line(pic, sR, sL, cv::Scalar(255, 128, 0), t);
    for (const cv::Point2d& s : {sR, sL})
        cv::circle(pic, s, 4 * t, cv::Scalar(255, 128, 0), cv::FILLED);
    cv::putText(pic, "area", cv::Point2d(c.area[0] + 4, c.area[1] + 16 * t), cv::FONT_HERSHEY_SIMPLEX, 0.5 * t,
                cv::Scalar(0, 200, 0), t);
    cv::putText(pic, "head", cv::Point2d(c.head[0], std::max(12.0 * t, c.head[1] - 4)), cv::FONT_HERSHEY_SIMPLEX,
                0.5 * t, cv::Scalar(0, 0, 255), t);
    return pic;
}

std::string describeProposal(const Proposal& p)
{
    const CalibrationFile& c = p.calibration;
    char buf[400];
    std::snprintf(buf, sizeof buf,
                  "area %.0f,%.0f,%.0f,%.0f  head %.0f,%.0f,%.0f,%.0f  shoulders %.0f,%.0f,%.0f,%.0f  sleeves %s"
                  "  (face: %s; shoulders: %s; longest skin beside the face: %.2f face heights)",
                  c.area[0], c.area[1], c.area[2], c.area[3], c.head[0], c.head[1], c.head[2], c.head[3],
                  c.shoulders[0], c.shoulders[1], c.shoulders[2], c.shoulders[3], c.sleevesToWrist ? "wrist" : "short",
                  p.faceMethod.c_str(), p.shoulderMethod.c_str(), p.forearmSkin);
    return buf;
}

} // namespace vestiga
