#include "core/DrawSurface.h"

namespace glyphora {

DrawSurface::~DrawSurface() = default;

std::vector<Vec2> RecordingSurface::Polygon::placed() const
{
    std::vector<Vec2> out;
    out.reserve(points.size());
    for (const Vec2& p : points)
        out.push_back({p.x + translation.x, p.y + translation.y});
    return out;
}

void RecordingSurface::polygon(const Rgba& colour, const Vec2* points, int count)
{
    Polygon p;
    p.colour = colour;
    p.points.assign(points, points + (count > 0 ? count : 0));
    p.translation = translation_;
    polygons.push_back(std::move(p));
}

void RecordingSurface::pushMatrix()
{
    stack_.push_back(translation_);
    ++depth;
}

void RecordingSurface::popMatrix()
{
    if (stack_.empty()) {
        ++unbalancedPops;
        return;
    }
    translation_ = stack_.back();
    stack_.pop_back();
    --depth;
}

void RecordingSurface::translate(float x, float y)
{
    translation_.x += x;
    translation_.y += y;
}

void RecordingSurface::setDepthTest(bool on)
{
    depthTest = on;
    ++depthTestChanges;
}

void RecordingSurface::clear()
{
    polygons.clear();
    depth = 0;
    unbalancedPops = 0;
    depthTestChanges = 0;
    depthTest = false;
    stack_.clear();
    translation_ = Vec2{};
}

} // namespace glyphora
