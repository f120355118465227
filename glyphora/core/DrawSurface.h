#pragma once
// The drawing seam under the arrow primitives: everything the sign drawings
// do to a picture is a filled polygon in one colour, the model-view matrix
// stack with translations, and switching the depth test. GLDrawSurface
// (render/GLDrawSurface.h) sends these to the current OpenGL 1.x context;
// RecordingSurface keeps them as plain data for tests and for vector export.
#include <initializer_list>
#include <vector>

namespace glyphora {

struct Rgba {
    float r = 0.f, g = 0.f, b = 0.f, a = 1.f;
    bool operator==(const Rgba& o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
};

struct Vec2 {
    float x = 0.f, y = 0.f;
    bool operator==(const Vec2& o) const { return x == o.x && y == o.y; }
};

class DrawSurface {
public:
    virtual ~DrawSurface();

    // A filled convex polygon of `count` corners in the current frame.
    virtual void polygon(const Rgba& colour, const Vec2* points, int count) = 0;
    void polygon(const Rgba& colour, std::initializer_list<Vec2> points)
    {
        polygon(colour, points.begin(), static_cast<int>(points.size()));
    }

    virtual void pushMatrix() = 0;
    virtual void popMatrix() = 0;
    // Moves the current frame by (x, y) (in the current frame's units).
    virtual void translate(float x, float y) = 0;
    virtual void setDepthTest(bool on) = 0;
};

// Keeps every polygon with the translation in effect when it was drawn.
class RecordingSurface : public DrawSurface {
public:
    struct Polygon {
        Rgba colour;
        std::vector<Vec2> points;  // as given, in the frame of the caller
        Vec2 translation;          // sum of the translations in effect
        // The corners in the outer frame: points + translation (float sums).
        std::vector<Vec2> placed() const;
    };

    void polygon(const Rgba& colour, const Vec2* points, int count) override;
    using DrawSurface::polygon;
    void pushMatrix() override;
    void popMatrix() override;
    void translate(float x, float y) override;
    void setDepthTest(bool on) override;

    void clear();

    std::vector<Polygon> polygons;
    int depth = 0;              // current push depth
    int unbalancedPops = 0;     // pops without a matching push
    int depthTestChanges = 0;
    bool depthTest = false;     // last state set

private:
    std::vector<Vec2> stack_;
    Vec2 translation_;
};

} // namespace glyphora
