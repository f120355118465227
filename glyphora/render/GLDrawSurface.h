#pragma once
// The drawing seam of the sign drawings on OpenGL.
#include "core/DrawSurface.h"

namespace glyphora {

// Immediate-mode OpenGL: glColor4f, glBegin(GL_POLYGON), glVertex2f, glEnd;
// glPushMatrix, glPopMatrix, glTranslatef(x, y, 0); glEnable/glDisable of
// GL_DEPTH_TEST. Needs a current context (compatibility profile).
class GLDrawSurface : public DrawSurface {
public:
    void polygon(const Rgba& colour, const Vec2* points, int count) override;
    using DrawSurface::polygon;
    void pushMatrix() override;
    void popMatrix() override;
    void translate(float x, float y) override;
    void setDepthTest(bool on) override;
};

} // namespace glyphora
