#include "render/PictureView.h"

#include "core/Blend.h"

#include <GL/gl.h>
#include <opencv2/imgproc.hpp>


namespace glyphora {

void transferPicture(const cv::Mat& picture, cv::Mat& buffer, int viewWidth, int viewHeight)
{
    if (picture.empty() || picture.type() != CV_8UC3 || viewWidth <= 0 || viewHeight <= 0)
        return;
    // Twice the view's width: two 3-byte buffer pixels make one drawn pixel
    // of three 16-bit components.
    if (buffer.empty() || buffer.cols != 2 * viewWidth || buffer.rows != viewHeight)
        buffer.create(viewHeight, 2 * viewWidth, CV_8UC3);
    cv::resize(picture, buffer, buffer.size(), 0, 0, cv::INTER_LINEAR);

    glClear(GL_COLOR_BUFFER_BIT);
    // Raster position at the lower-left corner of the viewport, whatever the
    // matrices hold.
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glRasterPos2f(-1.0f, -1.0f);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);

    // A buffer row holds 6 * viewWidth bytes. With the default alignment of 4
    // an odd width would make GL step 2 bytes further per row than the buffer
    // does (skewing the picture and reading past its end); an alignment of 2,
    // the size of one component, makes a drawn row exactly one buffer row.
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 2);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_FALSE);
    glDrawPixels(viewWidth, viewHeight, GL_RGB, GL_UNSIGNED_SHORT, buffer.data);
    glPopClientAttrib();
}

void PictureView::draw(int viewWidth, int viewHeight)
{
    if (!image_ || image_->empty() || image_->type() != CV_8UC3)
        return;
    const cv::Mat& image = *image_;
    if (alphaImage_ && alphaImage_->size() == image.size() && alphaImage_->type() == CV_8UC1)
        dimByMask(image, *alphaImage_, copyImage_);
    else
        image.copyTo(copyImage_);
    transferPicture(copyImage_, buffer_, viewWidth, viewHeight);
    glFlush();
}

bool paintMask(cv::Mat& mask, double x, double y, double viewWidth, double viewHeight, cv::Rect* touched)
{
    if (mask.empty() || mask.type() != CV_8UC1 || !(viewWidth > 0) || !(viewHeight > 0))
        return false;
    const int width = mask.cols, height = mask.rows;
    const int px = static_cast<int>(width * x / viewWidth);
    const int py = static_cast<int>(height * y / viewHeight);
    const cv::Rect reached = paintBrush(mask, px, py);
    if (touched)
        *touched = reached;
    return true;
}

} // namespace glyphora
