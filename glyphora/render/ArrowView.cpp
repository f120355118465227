#include "render/ArrowView.h"

#include "render/GLDrawSurface.h"
#include "core/SignPattern.h"
#include "render/PictureView.h"

#include <GL/gl.h>

namespace glyphora {

void ArrowView::setCoords(const float* const coords[6])
{
    for (int i = 0; i < 6; ++i)
        coordinates[i] = coords ? coords[i] : nullptr;
}

void ArrowView::initBegEnd(int first, int last, int viewWidth, int viewHeight)
{
    beg = first;
    end = last;
    iWidth = static_cast<float>(viewWidth);
    iHeight = static_cast<float>(viewHeight);
}

SignPattern::DrawStatus ArrowView::draw(int viewWidth, int viewHeight, SignPattern& pattern, const ArrowControls& controls)
{
    if (viewWidth <= 0 || viewHeight <= 0)
        return SignPattern::kBadLength;
    if (image_)
        transferPicture(*image_, buffer_, viewWidth, viewHeight);

    glClear(GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);

    // The arrows' frame: tracking units, x = 0 on the picture's vertical
    // centre line and +-0.5 * width / height on its edges, y from 0 at the
    // bottom to 1 at the top. The viewport covers the whole view, so the
    // picture (stretched to the view) and this frame stay together when the
    // view is resized; the size recorded at initBegEnd fixes the aspect.
    // Before any initBegEnd the current size stands in for it.
    const float w = iWidth > 0.0f && iHeight > 0.0f ? iWidth : static_cast<float>(viewWidth);
    const float h = iWidth > 0.0f && iHeight > 0.0f ? iHeight : static_cast<float>(viewHeight);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-0.5 * w / h, 0.5 * w / h, 0.0, 1.0, -3.0, 3.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    glShadeModel(GL_SMOOTH);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

    pattern.beg = beg;
    pattern.dur = end - beg;
    GLDrawSurface surface;
    const SignPattern::DrawStatus status = pattern.drawSignGL(surface, controls.rArrowVisible, controls.lArrowVisible,
                       static_cast<float>(controls.offsetLArrowX), static_cast<float>(controls.offsetLArrowY),
                       static_cast<float>(controls.offsetRArrowX), static_cast<float>(controls.offsetRArrowY));
    glFlush();
    glDisable(GL_DEPTH_TEST);
    return status;
}

} // namespace glyphora
