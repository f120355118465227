// The calibration file reader on any text; whatever it accepts must be written
// and read back to the same values, bit for bit.
#include "run/Calibration.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    vestiga::CalibrationFile c;
    std::string error;
    if (!vestiga::parseCalibration(text, &c, &error)) {
        if (error.empty() || error.size() > 400) // a message, and a bounded one
            std::abort();
        return 0;
    }
    const std::string written = vestiga::formatCalibration(c);
    vestiga::CalibrationFile back;
    if (!vestiga::parseCalibration(written, &back, &error))
        std::abort();
    const bool same = std::memcmp(c.area, back.area, sizeof c.area) == 0
                      && std::memcmp(c.head, back.head, sizeof c.head) == 0
                      && std::memcmp(c.shoulders, back.shoulders, sizeof c.shoulders) == 0
                      && c.hasShoulderDistance == back.hasShoulderDistance
                      && (!c.hasShoulderDistance
                          || std::memcmp(&c.shoulderDistance, &back.shoulderDistance, sizeof(double)) == 0)
                      && c.referenceFrame == back.referenceFrame && c.sleevesToWrist == back.sleevesToWrist;
    if (!same || vestiga::formatCalibration(back) != written)
        std::abort();
    // The checks and the conversion for the run take any parsed values.
    (void)vestiga::checkCalibration(c, 640, 480);
    (void)vestiga::toRunCalibration(c, 480);
    return 0;
}
