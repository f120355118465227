#pragma once
// The plain picture view: draws one picture (green, red, blue channels, rows
// stored bottom row first) into the current OpenGL surface, optionally dimmed
// outside a painted mask. Usable inside any current GL context: the desktop
// application's widgets and the headless renderer call the same code.
#include <opencv2/core.hpp>

namespace glyphora {

// Picture transfer shared by every view: `picture` is resized bilinearly into
// `buffer` (2*viewWidth x viewHeight, recreated when the view size changes),
// the colour buffer is cleared and the buffer is drawn from the lower-left
// corner with glDrawPixels(viewWidth, viewHeight, GL_RGB, GL_UNSIGNED_SHORT).
// Each drawn pixel reads six bytes of a buffer row as three little-endian
// 16-bit components, so red is the high byte channel 2 of the even buffer
// pixel, green channel 1 and blue channel 3 of the odd one: with the picture
// convention above the colours come out right and the first stored row is at
// the bottom. Rows are unpacked with an alignment of 2 so that a drawn row is
// exactly one buffer row for odd widths too. Does nothing for an empty
// picture or an empty view.
void transferPicture(const cv::Mat& picture, cv::Mat& buffer, int viewWidth, int viewHeight);

class PictureView {
public:
    // The picture shown (not owned; must outlive its use), or null.
    void initTexture(const cv::Mat* image) { image_ = image; }
    // The mask dimming the picture (not owned), or null.
    void initAlphaTexture(const cv::Mat* alpha) { alphaImage_ = alpha; }
    const cv::Mat* image() const { return image_; }
    const cv::Mat* alphaImage() const { return alphaImage_; }

    // Draws into the current GL surface of viewWidth x viewHeight: nothing
    // without a picture; with a mask of the picture's size the picture is
    // dimmed to max(mask, 105)/256 of its brightness; then glFlush.
    void draw(int viewWidth, int viewHeight);

    // The picture as last drawn (after dimming); empty before any drawing.
    const cv::Mat& copyImage() const { return copyImage_; }

private:
    const cv::Mat* image_ = nullptr;
    const cv::Mat* alphaImage_ = nullptr;
    cv::Mat buffer_;
    cv::Mat copyImage_;
};

// The soft circular brush of the key-frame view. (x, y) is the mouse position
// relative to the view's lower-left corner (y upwards) in a view of
// viewWidth x viewHeight; masks are stored bottom row first, so the position
// maps straight to a mask row. Radius R = width/15, spread S = width*height/1000
// (integer divisions); each pixel at offset (a, b), -R <= a, b < R, with
// 0 < column < width and 0 < row < height is raised to
// v = 255 * exp(-(a^2 + b^2) / S) when v exceeds it. Returns false (and
// paints nothing) for an empty mask or view. `touched`, when given, receives
// the mask pixels the dab may have changed (empty when none).
bool paintMask(cv::Mat& mask, double x, double y, double viewWidth, double viewHeight,
               cv::Rect* touched = nullptr);

} // namespace glyphora
