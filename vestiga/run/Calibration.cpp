#include "run/Calibration.h"

#include "base/ReplaceFile.h"
#include "cli/Files.h"
#include "cli/Number.h"
#include "cli/Quote.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

namespace vestiga {

namespace {

std::string trim(const std::string& s)
{
    const char* ws = " \t\r\n\f\v";
    const auto b = s.find_first_not_of(ws);
    if (b == std::string::npos)
        return std::string();
    const auto e = s.find_last_not_of(ws);
    return s.substr(b, e - b + 1);
}

// Shortest text that reads back as the same double (at most 17 significant
// digits), independent of the process locale.
std::string realText(double v)
{
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 17);
    return std::string(buf, r.ptr);
}

std::string listText(const double* v, int n)
{
    std::string s;
    for (int i = 0; i < n; ++i) {
        if (i)
            s += ',';
        s += realText(v[i]);
    }
    return s;
}

bool inside(double a, double lo, double hi) { return a >= lo && a <= hi; }

// Pixel numbers lie far inside this bound on any video; beyond it a number is
// a typing error, and it would overflow the tracker's integer sizes.
constexpr double kMaxPixels = 1e6;

} // namespace

bool parseReal(const std::string& text, double* out)
{
    return cli::readNumber(text, cli::Range{-kMaxPixels, kMaxPixels}, out).empty();
}

bool parseReals(const std::string& text, int n, double* out)
{
    std::string rest = text;
    for (int i = 0; i < n; ++i) {
        const auto comma = rest.find(',');
        const bool last = (i == n - 1);
        if (last != (comma == std::string::npos))
            return false; // too few or too many values
        if (!parseReal(last ? rest : rest.substr(0, comma), &out[i]))
            return false;
        if (!last)
            rest = rest.substr(comma + 1);
    }
    return true;
}

bool parseCalibration(const std::string& text, CalibrationFile* out, std::string* error)
{
    CalibrationFile c;
    bool seenArea = false, seenHead = false, seenShoulders = false, seenDistance = false,
         seenFrame = false, seenSleeves = false, seenTracker = false;
    // A byte-order mark, as some editors write at the start of UTF-8 text.
    std::istringstream in(std::string(cli::withoutBom(text)));
    std::string raw;
    int lineNo = 0;
    auto fail = [&](const std::string& why) {
        if (error)
            *error = "line " + std::to_string(lineNo) + ": " + why;
        return false;
    };
    while (std::getline(in, raw)) {
        ++lineNo;
        const auto hash = raw.find('#');
        const std::string line = trim(hash == std::string::npos ? raw : raw.substr(0, hash));
        if (line.empty())
            continue;
        const auto sp = line.find_first_of(" \t");
        const std::string key = line.substr(0, sp);
        const std::string value = sp == std::string::npos ? std::string() : trim(line.substr(sp));
        auto once = [&](bool& seen) {
            if (seen)
                return fail("'" + key + "' is given twice");
            seen = true;
            return true;
        };
        if (key == "area" || key == "head" || key == "shoulders") {
            bool& seen = key == "area" ? seenArea : key == "head" ? seenHead : seenShoulders;
            double* dst = key == "area" ? c.area : key == "head" ? c.head : c.shoulders;
            if (!once(seen))
                return false;
            if (!parseReals(value, 4, dst))
                return fail(key + ": expected four numbers "
                            + (key == "shoulders" ? std::string("XR,YR,XL,YL") : std::string("X,Y,W,H"))
                            + ", got " + cli::quote(value));
        } else if (key == "shoulder-distance") {
            if (!once(seenDistance))
                return false;
            if (!parseReal(value, &c.shoulderDistance))
                return fail("shoulder-distance: expected a number, got " + cli::quote(value));
            c.hasShoulderDistance = true;
        } else if (key == "reference-frame") {
            if (!once(seenFrame))
                return false;
            int n = 0;
            const auto r = std::from_chars(value.data(), value.data() + value.size(), n);
            if (value.empty() || r.ec != std::errc() || r.ptr != value.data() + value.size() || n < 0)
                return fail("reference-frame: expected a frame number (0 or more), got " + cli::quote(value));
            c.referenceFrame = n;
        } else if (key == "sleeves") {
            if (!once(seenSleeves))
                return false;
            if (value == "wrist")
                c.sleevesToWrist = true;
            else if (value == "short")
                c.sleevesToWrist = false;
            else
                return fail("sleeves: expected 'wrist' or 'short', got " + cli::quote(value));
        } else if (key == "tracker") {
            if (!once(seenTracker))
                return false;
            if (value == "classic")
                c.tracker = TrackerMethod::Classic;
            else if (value == "robust")
                c.tracker = TrackerMethod::Robust;
            else
                return fail("tracker: expected 'classic' or 'robust', got " + cli::quote(value));
        } else {
            return fail("unknown key " + cli::quote(key));
        }
    }
    lineNo = 0;
    auto missing = [&](const char* what) {
        if (error)
            *error = std::string("missing '") + what + "' line";
        return false;
    };
    if (!seenArea)
        return missing("area");
    if (!seenHead)
        return missing("head");
    if (!seenShoulders)
        return missing("shoulders");
    *out = c;
    return true;
}

bool readCalibrationFile(const std::string& path, CalibrationFile* out, std::string* error)
{
    // Bounded: a calibration file is a few short lines, and a wrong name
    // ("/dev/zero", a video) must end in a message, not in exhausted memory.
    std::string text, why;
    if (!cli::readTextFile(path, cli::kCalibrationFileMax, &text, &why)) {
        if (error)
            *error = path + ": " + why;
        return false;
    }
    if (!parseCalibration(text, out, &why)) {
        if (error)
            *error = path + ": " + why;
        return false;
    }
    return true;
}

std::string formatCalibration(const CalibrationFile& c)
{
    std::string s;
    s += "# pixels of the reference frame, origin at its top-left corner, y down\n";
    s += "area " + listText(c.area, 4) + "\n";
    s += "head " + listText(c.head, 4) + "\n";
    s += "shoulders " + listText(c.shoulders, 4) + "\n";
    if (c.hasShoulderDistance)
        s += "shoulder-distance " + realText(c.shoulderDistance) + "\n";
    s += "reference-frame " + std::to_string(c.referenceFrame) + "\n";
    s += std::string("sleeves ") + (c.sleevesToWrist ? "wrist" : "short") + "\n";
    // Only a departure from the default is written: a classic calibration
    // keeps the bytes it always had.
    if (c.tracker == TrackerMethod::Robust)
        s += "tracker robust\n";
    return s;
}

bool writeCalibrationFile(const std::string& path, const CalibrationFile& c, std::string* error)
{
    // Replaced whole or not at all: the old file stays as it was until the
    // new one is complete on disk.
    std::string why;
    if (base::replaceFile(path, formatCalibration(c), &why))
        return true;
    if (error)
        *error = path + ": cannot write the calibration file: " + why;
    return false;
}

RunCalibration toRunCalibration(const CalibrationFile& c, int refHeight)
{
    RunCalibration r;
    r.cx = static_cast<float>(c.area[0]);
    r.cy = static_cast<float>(refHeight - (c.area[1] + c.area[3]));
    r.cw = static_cast<float>(c.area[2]);
    r.ch = static_cast<float>(c.area[3]);
    r.hx = static_cast<float>(c.head[0]);
    r.hy = static_cast<float>(refHeight - (c.head[1] + c.head[3]));
    r.hw = static_cast<float>(c.head[2]);
    r.hh = static_cast<float>(c.head[3]);
    if (c.hasShoulderDistance) {
        r.dShould = static_cast<float>(c.shoulderDistance);
    } else {
        const float dx = static_cast<float>(c.shoulders[0]) - static_cast<float>(c.shoulders[2]);
        const float dy = static_cast<float>(c.shoulders[1]) - static_cast<float>(c.shoulders[3]);
        r.dShould = std::sqrt(dx * dx + dy * dy);
    }
    r.sleevesToWrist = c.sleevesToWrist;
    r.tracker = c.tracker;
    return r;
}

CalibrationFile toCalibrationFile(const RunCalibration& r, int refHeight, const double shoulders[4],
                                  int referenceFrame)
{
    // Every float is exact in double and the sums below stay far inside the
    // 53-bit mantissa, so toRunCalibration gives back the same floats.
    CalibrationFile c;
    c.area[0] = r.cx;
    c.area[1] = refHeight - (static_cast<double>(r.cy) + static_cast<double>(r.ch));
    c.area[2] = r.cw;
    c.area[3] = r.ch;
    c.head[0] = r.hx;
    c.head[1] = refHeight - (static_cast<double>(r.hy) + static_cast<double>(r.hh));
    c.head[2] = r.hw;
    c.head[3] = r.hh;
    for (int i = 0; i < 4; ++i)
        c.shoulders[i] = shoulders ? shoulders[i] : 0.0;
    c.hasShoulderDistance = true;
    c.shoulderDistance = r.dShould;
    c.referenceFrame = referenceFrame;
    c.sleevesToWrist = r.sleevesToWrist;
    c.tracker = r.tracker;
    return c;
}

namespace {

CalibrationCheck fault(CalibrationFault f, const char* key, int shoulder = -1)
{
    CalibrationCheck c;
    c.fault = f;
    c.key = key;
    c.shoulder = shoulder;
    return c;
}

CalibrationCheck validate(const CalibrationFile& c, int refWidth, int refHeight, bool shoulderPoints)
{
    const double W = refWidth, H = refHeight;
    const double* a = c.area;
    const double* h = c.head;
    const double* s = c.shoulders;
    if (!(a[2] > 0 && a[3] > 0))
        return fault(CalibrationFault::AreaEmpty, "area");
    if (!(a[0] >= 0 && a[1] >= 0 && a[0] + a[2] <= W && a[1] + a[3] <= H))
        return fault(CalibrationFault::AreaOutsideFrame, "area");
    if (a[3] > a[2])
        return fault(CalibrationFault::AreaTallerThanWide, "area");
    if (!(h[2] > 0 && h[3] > 0))
        return fault(CalibrationFault::HeadEmpty, "head");
    if (!(h[0] >= a[0] && h[1] >= a[1] && h[0] + h[2] <= a[0] + a[2] && h[1] + h[3] <= a[1] + a[3]))
        return fault(CalibrationFault::HeadOutsideArea, "head");
    if (shoulderPoints)
        for (int i = 0; i < 2; ++i)
            if (!(inside(s[2 * i], 0, W) && inside(s[2 * i + 1], 0, H)))
                return fault(CalibrationFault::ShoulderOutsideFrame, "shoulders", i);
    if (c.hasShoulderDistance) {
        if (!(c.shoulderDistance > 0))
            return fault(CalibrationFault::ShoulderDistance, "shoulder-distance");
    } else if (s[0] == s[2] && s[1] == s[3]) {
        return fault(CalibrationFault::ShouldersTogether, "shoulders");
    }
    return CalibrationCheck();
}

} // namespace

CalibrationCheck validateCalibration(const CalibrationFile& c, int refWidth, int refHeight)
{
    return validate(c, refWidth, refHeight, true);
}

CalibrationCheck validateCalibration(const RunCalibration& r, int refWidth, int refHeight)
{
    return validate(toCalibrationFile(r, refHeight, nullptr, 0), refWidth, refHeight, false);
}

std::string checkCalibration(const CalibrationFile& c, int refWidth, int refHeight)
{
    const CalibrationCheck check = validateCalibration(c, refWidth, refHeight);
    const std::string frame = std::to_string(refWidth) + "x" + std::to_string(refHeight);
    const double* a = c.area;
    const double* h = c.head;
    const double* s = c.shoulders;
    switch (check.fault) {
    case CalibrationFault::None:
        return std::string();
    case CalibrationFault::AreaEmpty:
        return "area: the width and height must be above 0 (got " + listText(a, 4) + ")";
    case CalibrationFault::AreaOutsideFrame:
        return "area: " + listText(a, 4) + " lies outside the " + frame + " reference frame";
    case CalibrationFault::AreaTallerThanWide:
        return "area: the image area is taller than wide (" + realText(a[2]) + " x " + realText(a[3])
               + "); the tracker needs a width at least equal to the height";
    case CalibrationFault::HeadEmpty:
        return "head: the width and height must be above 0 (got " + listText(h, 4) + ")";
    case CalibrationFault::HeadOutsideArea:
        return "head: the head box " + listText(h, 4) + " lies outside the image area " + listText(a, 4);
    case CalibrationFault::ShoulderOutsideFrame:
        return "shoulders: the " + std::string(check.shoulder == 0 ? "right" : "left") + " shoulder ("
               + listText(s + 2 * check.shoulder, 2) + ") lies outside the " + frame + " reference frame";
    case CalibrationFault::ShouldersTogether:
        return "shoulders: both shoulders are at the same point (" + listText(s, 2) + ")";
    case CalibrationFault::ShoulderDistance:
        return "shoulder-distance: must be above 0 (got " + realText(c.shoulderDistance) + ")";
    }
    return std::string();
}

std::string checkRunCalibration(const RunCalibration& r, int refWidth, int refHeight)
{
    const CalibrationCheck check = validateCalibration(r, refWidth, refHeight);
    const std::string frame = std::to_string(refWidth) + "x" + std::to_string(refHeight);
    auto rect = [](double x, double y, double w, double h) {
        const double v[4] = {x, y, w, h};
        return listText(v, 4);
    };
    const std::string area = rect(r.cx, r.cy, r.cw, r.ch);
    const std::string head = rect(r.hx, r.hy, r.hw, r.hh);
    switch (check.fault) {
    case CalibrationFault::None:
        return std::string();
    case CalibrationFault::AreaEmpty:
        return "image area " + area + ": the width and height must be above 0";
    case CalibrationFault::AreaOutsideFrame:
        return "image area " + area + " lies outside the " + frame + " reference picture";
    case CalibrationFault::AreaTallerThanWide:
        return "image area " + area + " is taller than wide; the tracker needs a width at least equal to the height";
    case CalibrationFault::HeadEmpty:
        return "head box " + head + ": the width and height must be above 0";
    case CalibrationFault::HeadOutsideArea:
        return "head box " + head + " lies outside the image area " + area;
    case CalibrationFault::ShoulderOutsideFrame: // no shoulder points in a run calibration
    case CalibrationFault::ShouldersTogether:
    case CalibrationFault::ShoulderDistance:
        return "shoulder distance " + realText(r.dShould) + ": the shoulders must be apart";
    }
    return std::string();
}

} // namespace vestiga
