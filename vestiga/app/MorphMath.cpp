#include "MorphMath.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace vestiga {

PicRect rectFromClicks(const int a[2], const int b[2], const ViewFrame& v, int imw, int imh)
{
    PicRect r;
    r.width = float((int64_t(std::abs(a[0] - b[0])) * imw) / v.width);
    r.height = float((int64_t(std::abs(a[1] - b[1])) * imh) / v.height);
    r.x = float(double(std::min(a[0], b[0]) - v.ox) * double(imw) / double(v.width));
    r.y = float(double(std::min(a[1], b[1]) - v.oy) * double(imh) / double(v.height));
    return r;
}

void pointToPicture(const int p[2], const ViewFrame& v, int imw, int imh, float out[2])
{
    out[0] = float((int64_t(p[0] - v.ox) * imw) / v.width);
    out[1] = float((int64_t(p[1] - v.oy) * imh) / v.height);
}

float shoulderDistance(const int r[2], const int l[2], const ViewFrame& v, int imw, int imh)
{
    const int64_t dx = r[0] - l[0];
    const int64_t dy = r[1] - l[1];
    const int64_t a = (imw * ((dx * dx * imw) / v.width)) / v.width;
    const int64_t b = (imh * ((dy * dy * imh) / v.height)) / v.height;
    return std::sqrt(float(a + b));
}

bool clickOnView(const int p[2], const ViewFrame& v)
{
    return p[0] >= v.ox && p[0] < v.ox + v.width && p[1] >= v.oy && p[1] < v.oy + v.height;
}

} // namespace vestiga
