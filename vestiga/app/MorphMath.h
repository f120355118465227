#pragma once
// The arithmetic of the calibration view: clicks in window coordinates (origin
// at the window's bottom-left corner, y upward, truncated to whole numbers)
// turned into pixels of the reference picture (origin at its bottom-left
// corner, y upward), for a picture stretched to fill the view's frame in both
// directions. No Qt: the view forwards to these functions.
//
// The precision is mixed on purpose: sizes in whole-number arithmetic with
// truncating divisions, positions in double precision, every result narrowed
// to single precision. The tracking results depend on these exact numbers:
// the image area's proportions fix the unit of every coordinate of the
// tracking file (the area scaled to 400 columns), and the head box and the
// shoulder distance set up the filters. Any other rounding would give the
// same clicks a slightly different calibration, so a tracking file could no
// longer be reproduced to the byte from the clicks that made it.

namespace vestiga {

// The view's frame in window coordinates, each value truncated toward zero.
struct ViewFrame {
    int ox = 0;
    int oy = 0;
    int width = 0;
    int height = 0;
};

// A rectangle of the reference picture, bottom-left origin.
struct PicRect {
    float x = 0;
    float y = 0;
    float width = 0;
    float height = 0;
};

// The rectangle spanned by two clicks a and b (any two opposite corners, in
// any order):
//   width  = (|xa - xb| * imw) / view width      (whole numbers, truncated)
//   height = (|ya - yb| * imh) / view height     (whole numbers, truncated)
//   x      = (min(xa, xb) - ox) * imw / width    (double, narrowed to float)
//   y      = (min(ya, yb) - oy) * imh / height   (double, narrowed to float)
PicRect rectFromClicks(const int a[2], const int b[2], const ViewFrame& v, int imw, int imh);

// A click turned into picture pixels, whole-number arithmetic:
// ((x - ox) * imw / width, (y - oy) * imh / height).
void pointToPicture(const int p[2], const ViewFrame& v, int imw, int imh, float out[2]);

// Distance in picture pixels between two clicks r and l:
//   a = (imw * ((dx * dx * imw) / width)) / width
//   b = (imh * ((dy * dy * imh) / height)) / height
//   sqrt(a + b) in single precision.
// The products are taken in 64 bits: dx * dx * imw leaves the 32-bit range
// for clicks about 1000 points apart on an HD picture.
float shoulderDistance(const int r[2], const int l[2], const ViewFrame& v, int imw, int imh);

// True when the click lies on the view (the picture): ox <= x < ox + width and
// oy <= y < oy + height.
bool clickOnView(const int p[2], const ViewFrame& v);

} // namespace vestiga
