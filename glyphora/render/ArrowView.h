#pragma once
// The arrow view: the blended sign picture with the movement arrows of the
// sign drawn over it. A plain class usable in any current OpenGL context (the
// application's widget, the headless renderer); it holds the frames of the
// sign and the size the view had when they were set, and reads the arrow
// controls and the sign pattern it is given at each drawing.
#include "core/SignPattern.h"

#include <opencv2/core.hpp>

namespace glyphora {

// The controls the arrow view reads: the R box and sliders act on the arrow
// of hand 2, the L ones on the arrow of hand 1. Offsets are in view units
// (picture heights), -0.5 to 0.5.
struct ArrowControls {
    bool rArrowVisible = true;
    bool lArrowVisible = true;
    double offsetRArrowX = 0.0;
    double offsetRArrowY = 0.0;
    double offsetLArrowX = 0.0;
    double offsetLArrowY = 0.0;
};

class ArrowView {
public:
    // First and last tracking line of the sign.
    int beg = 0;
    int end = 0;
    // Size of the view when initBegEnd was last called.
    float iWidth = 0.0f;
    float iHeight = 0.0f;
    // The six trajectory columns (not owned; the drawing does not read them).
    const float* coordinates[6] = {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};

    // The picture shown under the arrows (not owned), or null: without one
    // the surface keeps its contents and only the arrows are drawn.
    void initTexture(const cv::Mat* image) { image_ = image; }
    const cv::Mat* image() const { return image_; }

    void setCoords(const float* const coords[6]);
    // Sets the sign's lines and remembers the view's current size.
    void initBegEnd(int first, int last, int viewWidth, int viewHeight);

    // Draws into the current GL surface of viewWidth x viewHeight whose
    // viewport covers the whole view: the picture transfer, then, in the
    // frame x = -0.5*iWidth/iHeight .. +0.5*iWidth/iHeight (picture's left
    // and right edges), y = 0 .. 1 (bottom to top), depth -3 .. 3, the
    // arrows: the sign pattern's beg and dur are set to beg and end - beg
    // and drawSignGL is called with the controls. Leaves the depth test off.
    // Returns what drawSignGL answered (kDrawn when arrows were drawn).
    SignPattern::DrawStatus draw(int viewWidth, int viewHeight, SignPattern& pattern, const ArrowControls& controls);

private:
    const cv::Mat* image_ = nullptr;
    cv::Mat buffer_;
};

} // namespace glyphora
