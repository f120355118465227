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

namespace {

bool inside(const PicRect& r, float x0, float y0, float x1, float y1)
{
    return r.x >= x0 && r.y >= y0 && r.x + r.width <= x1 && r.y + r.height <= y1;
}

bool pointInside(const float p[2], int imw, int imh)
{
    return p[0] >= 0 && p[1] >= 0 && p[0] <= float(imw) && p[1] <= float(imh);
}

} // namespace

std::string checkCalibration(const PicRect& area, const PicRect& head, const float shoulderR[2],
                             const float shoulderL[2], float dShould, int imw, int imh)
{
    if (area.width < 1 || area.height < 1)
        return "La zone à traiter est vide : cliquez sur deux coins opposés de la zone.";
    if (!inside(area, 0, 0, float(imw), float(imh)))
        return "La zone à traiter sort de l'image.";
    if (area.height > area.width)
        return "La zone à traiter est plus haute que large : choisissez une zone au moins aussi "
               "large que haute.";
    // The skin sample is the central half of the head box: it needs two
    // pixels in each direction.
    if (head.width < 2 || head.height < 2)
        return "La boîte de la tête est trop petite.";
    if (!inside(head, area.x, area.y, area.x + area.width, area.y + area.height))
        return "La boîte de la tête doit se trouver dans la zone à traiter.";
    if (!pointInside(shoulderR, imw, imh) || !pointInside(shoulderL, imw, imh))
        return "Une épaule est en dehors de l'image.";
    if (!(dShould >= 1))
        return "Les deux épaules sont confondues : cliquez sur l'épaule droite puis sur l'épaule "
               "gauche.";
    return std::string();
}

} // namespace vestiga
