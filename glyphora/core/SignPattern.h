#pragma once
// One sign as a stretch of tracking lines, and the movement arrows drawn from
// it. The hand trajectories are smoothed by a local weighted least-squares
// fit (getCoordinate), forced into the chosen two-hand symmetry
// (filtCoordinate), and drawn as arrows whose shape follows the chosen
// movement pattern (drawSignGL). Every sampling and drawing leaves its
// measurements in `descr`.
//
// Frame of the drawings: units of the tracking picture height, x = tracking
// x, y = 1 - tracking y (upwards). The caller sets the projection.
#include "core/DrawSurface.h"
#include "core/SignDescription.h"

#include <optional>

namespace glyphora {

class TrackingTable;

class SignPattern {
public:
    // Patterns (moPat) and what drawSignGL does for each visible hand.
    enum Pattern {
        kComplex = 0,     // smoothed path, tapering, one head
        kArc = 1,         // parabolic arc fitted to the path
        kRepetition = 2,  // straight arrow with a double head
        kBack = 3,        // back-and-forth: start -> farthest -> end
        kBack2 = 4,       // the same as kBack
        kCircle = 5,      // ellipse of 300 degrees, one head
        kCircle2 = 6,     // the same with a double head, amplitude twice
        kStatic = 7       // nothing drawn, means refreshed
    };

    // Why drawSignGL drew nothing (or kDrawn).
    enum DrawStatus {
        kDrawn = 0,
        kBadLength,        // dur <= 0 or dur > kMaxDuration: nothing recorded
        kNoTracking,       // no trajectories given (initVideo)
        kOutsideTracking,  // first line < 1 or last line beg + dur > loaded lines
        kUnknownPattern    // moPat outside 0..7 (movCat recorded)
    };
    static constexpr int kMaxDuration = 75;

    SignPattern() = default;

    // Keeps the six trajectories (hand 1 x, y; hand 2 x, y; head x, y), each
    // indexed by line 0..lineCount (0 is not a line). The first argument is
    // unused. The arrays must stay alive while the pattern samples them.
    void initVideo(const void* unused, const float* c0, const float* c1, const float* c2,
                   const float* c3, const float* c4, const float* c5, int lineCount);
    // The same from a loaded table; call it again after every load of `table`.
    void initVideo(const TrackingTable& table);
    int lineCount() const { return lineCount_; }

    void setNewTimeBoundaries(int first, int length) { beg = first; dur = length; }
    int getBeg() const { return beg; }
    int getDur() const { return dur; }
    void setSymType(int s) { symType = s; }
    void setMoPat(int p) { moPat = p; }
    void setOrientation(float o) { orientation = o; }

    // Hand coordinate idx (0 hand 1 x, 1 hand 1 y, 2 hand 2 x, 3 hand 2 y) at
    // line f with the symmetry of symType imposed. Records symCat, the means
    // and half-distances over lines beg .. beg+dur-1 in descr. Lines outside
    // 1..n are never read (a coordinate at such a line is 0).
    float filtCoordinate(int idx, int f);
    // Smoothed coordinate idx at time t (in lines) from the fit
    // y ~ alpha + gamma * e^2 with a triangular kernel of half-width h lines;
    // returns alpha. Lines at or below 0 and after the last line are skipped.
    float getCoordinate(int idx, float t, float h);

    // Arrow primitives (light red fill, black borders).
    void drawPortion(DrawSurface& s, float x0, float y0, float x1, float y1, float e0x, float e0y,
                     float e1x, float e1y, float angle);
    void drawEnd(DrawSurface& s, float x0, float y0, float x1, float y1, float ex, float ey,
                 float angle);
    void drawEnd2(DrawSurface& s, float x0, float y0, float x1, float y1, float ex, float ey,
                  float angle);

    // Entry point of the arrow view: the R arrow is drawn for hand 2 with the R
    // offsets, then the L arrow for hand 1 with the L offsets.
    DrawStatus drawSignGL(DrawSurface& s, bool rVisible, bool lVisible, float lOffX, float lOffY,
                          float rOffX, float rOffY);

    static const Rgba kFill;    // (1.0, 0.5, 0.5, 1.0)
    static const Rgba kBorder;  // (0.0, 0.0, 0.0, 1.0)

    int beg = 0;              // first line of the sign
    int dur = 0;              // length in lines (last line - first line)
    int symType = 0;          // symmetry type, 0..7
    int moPat = 0;            // movement pattern, 0..7
    float orientation = 0.f;  // pen orientation, degrees (> 180: fixed pen)
    SignDescription descr;    // measurements of the last sampling/drawing

    // What one hand's drawing measures. A value left unset keeps what the
    // description holds (from the other hand or an earlier drawing).
    struct HandValues {
        std::optional<float> amplitude;
        std::optional<float> orientation;
        std::optional<float> symAngle;
    };

private:
    // The movement-pattern drawings for one hand (1 or 2), translated by
    // (offX, offY); each returns what it measured.
    HandValues drawComplexGL(DrawSurface& s, int hand, float offX, float offY);
    HandValues drawArcGL(DrawSurface& s, int hand, float offX, float offY);
    HandValues drawRepetGL(DrawSurface& s, int hand, float offX, float offY);
    HandValues drawBackGL(DrawSurface& s, int hand, float offX, float offY);
    HandValues drawCircleGL(DrawSurface& s, int hand, float offX, float offY, int turns);
    void drawStaticGL();

    float penAngle(int hand) const;
    void computeMeans();

    const float* coordinates_[6] = {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
    int lineCount_ = 0;

    // Means over the sign's lines, kept while beg, dur and the trajectories
    // stay the same (they are recomputed from the same data otherwise).
    struct Means {
        bool valid = false;
        int beg = 0, dur = 0;
        float moyrx = 0, moyry = 0, moylx = 0, moyly = 0, moyhx = 0, moyhy = 0;
        float dx = 0, dy = 0, mx = 0, my = 0;
    } means_;
};

} // namespace glyphora
