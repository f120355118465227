#include "render/GLDrawSurface.h"

#include <GL/gl.h>

namespace glyphora {

void GLDrawSurface::polygon(const Rgba& colour, const Vec2* points, int count)
{
    glColor4f(colour.r, colour.g, colour.b, colour.a);
    glBegin(GL_POLYGON);
    for (int i = 0; i < count; ++i)
        glVertex2f(points[i].x, points[i].y);
    glEnd();
}

void GLDrawSurface::pushMatrix() { glPushMatrix(); }

void GLDrawSurface::popMatrix() { glPopMatrix(); }

void GLDrawSurface::translate(float x, float y) { glTranslatef(x, y, 0.f); }

void GLDrawSurface::setDepthTest(bool on)
{
    if (on)
        glEnable(GL_DEPTH_TEST);
    else
        glDisable(GL_DEPTH_TEST);
}

} // namespace glyphora
