#include "run/Calibration.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
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

} // namespace

bool parseReal(const std::string& text, double* out)
{
    const std::string t = trim(text);
    if (t.empty())
        return false;
    const char* b = t.data();
    const char* e = t.data() + t.size();
    if (*b == '+') // from_chars refuses a leading plus sign
        ++b;
    double v = 0;
    const auto r = std::from_chars(b, e, v);
    if (r.ec != std::errc() || r.ptr != e || !std::isfinite(v))
        return false;
    *out = v;
    return true;
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
    std::istringstream in(text);
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
                            + ", got '" + value + "'");
        } else if (key == "shoulder-distance") {
            if (!once(seenDistance))
                return false;
            if (!parseReal(value, &c.shoulderDistance))
                return fail("shoulder-distance: expected a number, got '" + value + "'");
            c.hasShoulderDistance = true;
        } else if (key == "reference-frame") {
            if (!once(seenFrame))
                return false;
            int n = 0;
            const auto r = std::from_chars(value.data(), value.data() + value.size(), n);
            if (value.empty() || r.ec != std::errc() || r.ptr != value.data() + value.size() || n < 0)
                return fail("reference-frame: expected a frame number (0 or more), got '" + value + "'");
            c.referenceFrame = n;
        } else if (key == "sleeves") {
            if (!once(seenSleeves))
                return false;
            if (value == "wrist")
                c.sleevesToWrist = true;
            else if (value == "short")
                c.sleevesToWrist = false;
            else
                return fail("sleeves: expected 'wrist' or 'short', got '" + value + "'");
        } else if (key == "tracker") {
            if (!once(seenTracker))
                return false;
            if (value == "classic")
                c.tracker = TrackerMethod::Classic;
            else if (value == "robust")
                c.tracker = TrackerMethod::Robust;
            else
                return fail("tracker: expected 'classic' or 'robust', got '" + value + "'");
        } else {
            return fail("unknown key '" + key + "'");
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
    std::ifstream f(path, std::ios::binary);
    if (!f) {
        if (error)
            *error = path + ": cannot read the calibration file (" + std::strerror(errno) + ")";
        return false;
    }
    std::ostringstream text;
    text << f.rdbuf();
    if (f.bad()) {
        if (error)
            *error = path + ": cannot read the calibration file";
        return false;
    }
    std::string why;
    if (!parseCalibration(text.str(), out, &why)) {
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
    // Only the robust method is named: a classic calibration keeps the bytes
    // it always had.
    if (c.tracker == TrackerMethod::Robust)
        s += "tracker robust\n";
    return s;
}

bool writeCalibrationFile(const std::string& path, const CalibrationFile& c, std::string* error)
{
    // Written to a temporary file beside the target, then renamed over it: the
    // old file stays whole until the new one is complete on disk.
    const std::string text = formatCalibration(c);
    // O_EXCL with a name of this process: no other writer can own the file,
    // and the mode follows the user's umask like any new file.
    static int counter = 0;
    std::string tmp = path + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
    auto fail = [&](const std::string& why, int fd) {
        const int err = errno;
        if (fd >= 0) {
            ::close(fd);
            ::unlink(tmp.c_str());
        }
        if (error)
            *error = path + ": " + why + " (" + std::strerror(err) + ")";
        return false;
    };
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return fail("cannot create the calibration file", -1);
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail("cannot write the calibration file", fd);
        }
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0)
        return fail("cannot write the calibration file", fd);
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(tmp.c_str());
        errno = err;
        return fail("cannot write the calibration file", -1);
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        const int err = errno;
        ::unlink(tmp.c_str());
        errno = err;
        return fail("cannot replace the calibration file", -1);
    }
    return true;
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

std::string checkCalibration(const CalibrationFile& c, int refWidth, int refHeight)
{
    const double W = refWidth, H = refHeight;
    const std::string frame = std::to_string(refWidth) + "x" + std::to_string(refHeight);
    const double* a = c.area;
    const double* h = c.head;
    if (!(a[2] > 0 && a[3] > 0))
        return "area: the width and height must be above 0 (got " + listText(a, 4) + ")";
    if (!(a[0] >= 0 && a[1] >= 0 && a[0] + a[2] <= W && a[1] + a[3] <= H))
        return "area: " + listText(a, 4) + " lies outside the " + frame + " reference frame";
    if (a[3] > a[2])
        return "area: the image area is taller than wide (" + realText(a[2]) + " x " + realText(a[3])
               + "); the tracker needs a width at least equal to the height";
    if (!(h[2] > 0 && h[3] > 0))
        return "head: the width and height must be above 0 (got " + listText(h, 4) + ")";
    if (!(h[0] >= a[0] && h[1] >= a[1] && h[0] + h[2] <= a[0] + a[2] && h[1] + h[3] <= a[1] + a[3]))
        return "head: the head box " + listText(h, 4) + " lies outside the image area " + listText(a, 4);
    const double* s = c.shoulders;
    for (int i = 0; i < 2; ++i)
        if (!(inside(s[2 * i], 0, W) && inside(s[2 * i + 1], 0, H)))
            return "shoulders: the " + std::string(i == 0 ? "right" : "left") + " shoulder ("
                   + listText(s + 2 * i, 2) + ") lies outside the " + frame + " reference frame";
    if (c.hasShoulderDistance) {
        if (!(c.shoulderDistance > 0))
            return "shoulder-distance: must be above 0 (got " + realText(c.shoulderDistance) + ")";
    } else if (s[0] == s[2] && s[1] == s[3]) {
        return "shoulders: both shoulders are at the same point (" + listText(s, 2) + ")";
    }
    return std::string();
}

std::string checkRunCalibration(const RunCalibration& r, int refWidth, int refHeight)
{
    const double W = refWidth, H = refHeight;
    const std::string frame = std::to_string(refWidth) + "x" + std::to_string(refHeight);
    auto rect = [](double x, double y, double w, double h) {
        const double v[4] = {x, y, w, h};
        return listText(v, 4);
    };
    const std::string area = rect(r.cx, r.cy, r.cw, r.ch);
    const std::string head = rect(r.hx, r.hy, r.hw, r.hh);
    if (!(r.cw > 0 && r.ch > 0))
        return "image area " + area + ": the width and height must be above 0";
    if (!(r.cx >= 0 && r.cy >= 0 && double(r.cx) + r.cw <= W && double(r.cy) + r.ch <= H))
        return "image area " + area + " lies outside the " + frame + " reference picture";
    if (r.ch > r.cw)
        return "image area " + area + " is taller than wide; the tracker needs a width at least equal to the height";
    if (!(r.hw > 0 && r.hh > 0))
        return "head box " + head + ": the width and height must be above 0";
    if (!(r.hx >= r.cx && r.hy >= r.cy && double(r.hx) + r.hw <= double(r.cx) + r.cw
          && double(r.hy) + r.hh <= double(r.cy) + r.ch))
        return "head box " + head + " lies outside the image area " + area;
    if (!(r.dShould > 0))
        return "shoulder distance " + realText(r.dShould) + ": the shoulders must be apart";
    return std::string();
}

} // namespace vestiga
