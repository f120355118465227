#pragma once
// The measurements of the last sign drawing, read by the description file.
// Each SignPattern owns one (two patterns never share them); all start at 0.
#include <cstdint>

namespace glyphora {

struct SignDescription {
    int32_t symCat = 0;        // symmetry type of the last sampling
    int32_t movCat = 0;        // movement pattern of the last drawing
    float symAngle = 0.f;      // angle of the hands' symmetry, radians
    float orientation = 0.f;   // direction of the movement, radians
    float amplitude = 0.f;     // size of the movement, tracking units
    float dx = 0.f, dy = 0.f;  // mean half-distance hand 1 -> hand 2
    float moyrx = 0.f, moyry = 0.f;  // mean position of hand 1
    float moylx = 0.f, moyly = 0.f;  // mean position of hand 2
    float moyhx = 0.f, moyhy = 0.f;  // mean position of the head
};

} // namespace glyphora
