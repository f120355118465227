#include "sample/SampleFiles.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace vsample {

namespace {

std::string lineRef(const std::string& name, int line) { return name + ":" + std::to_string(line) + ": "; }

// Splits `line` at blanks into numbers. False (with the offending word in
// *bad) when a word is not a whole number in C syntax.
bool parseNumbers(const std::string& line, std::vector<double>* out, std::string* bad) {
    out->clear();
    std::istringstream in(line);
    std::string word;
    while (in >> word) {
        const char* s = word.c_str();
        char* end = nullptr;
        errno = 0;
        double v = std::strtod(s, &end);
        if (end == s || *end != '\0') {
            *bad = word;
            return false;
        }
        out->push_back(v);
    }
    return true;
}

bool isBlank(const std::string& line) { return line.find_first_not_of(" \t\r") == std::string::npos; }

std::string stripComment(const std::string& line) {
    size_t hash = line.find('#');
    return hash == std::string::npos ? line : line.substr(0, hash);
}

std::string fmt(const char* format, double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, format, v);
    return buf;
}

} // namespace

bool readTextFile(const std::string& path, std::string* text, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    if (in.bad()) {
        *error = "cannot read " + path;
        return false;
    }
    *text = ss.str();
    return true;
}

bool writeTextFile(const std::string& path, const std::string& text, std::string* error) {
    std::string tmp = path + ".part";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out) {
            *error = "cannot create " + tmp + ": " + std::strerror(errno);
            return false;
        }
        out << text;
        out.flush();
        if (!out) {
            *error = "cannot write " + tmp;
            std::remove(tmp.c_str());
            return false;
        }
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        *error = "cannot rename " + tmp + " to " + path + ": " + std::strerror(errno);
        std::remove(tmp.c_str());
        return false;
    }
    return true;
}

// ---- ground truth ----------------------------------------------------------

std::string formatTruth(const std::vector<TruthFrame>& frames) {
    std::string s = "# frame h1x h1y h2x h2y headx heady eRx eRy eLx eLy\n";
    char buf[256];
    for (const TruthFrame& f : frames) {
        std::snprintf(buf, sizeof buf, "%d %.4f %.4f %.4f %.4f %.4f %.4f %.4f %.4f %.4f %.4f\n", f.frame,
                      f.hand1.x, f.hand1.y, f.hand2.x, f.hand2.y, f.head.x, f.head.y, f.elbowR.x, f.elbowR.y,
                      f.elbowL.x, f.elbowL.y);
        s += buf;
    }
    return s;
}

bool parseTruth(const std::string& text, const std::string& name, std::vector<TruthFrame>* out,
                std::string* error) {
    out->clear();
    std::istringstream in(text);
    std::string line;
    int lineNo = 0;
    std::vector<double> v;
    std::string bad;
    while (std::getline(in, line)) {
        ++lineNo;
        std::string body = stripComment(line);
        if (isBlank(body)) continue;
        if (!parseNumbers(body, &v, &bad)) {
            *error = lineRef(name, lineNo) + "'" + bad + "' is not a number";
            return false;
        }
        if (v.size() != 11) {
            *error = lineRef(name, lineNo) + "expected 11 numbers (frame h1x h1y h2x h2y headx heady eRx eRy "
                                             "eLx eLy), found " + std::to_string(v.size());
            return false;
        }
        for (double x : v) {
            if (!std::isfinite(x)) {
                *error = lineRef(name, lineNo) + "non-finite value";
                return false;
            }
        }
        int expected = int(out->size());
        if (v[0] != double(expected)) {
            *error = lineRef(name, lineNo) + "frame number " + fmt("%g", v[0]) + ", expected " +
                     std::to_string(expected) + " (frames must start at 0 and follow each other)";
            return false;
        }
        TruthFrame f;
        f.frame = expected;
        f.hand1 = {v[1], v[2]};
        f.hand2 = {v[3], v[4]};
        f.head = {v[5], v[6]};
        f.elbowR = {v[7], v[8]};
        f.elbowL = {v[9], v[10]};
        out->push_back(f);
    }
    if (out->empty()) {
        *error = name + ": no ground-truth lines";
        return false;
    }
    return true;
}

bool readTruth(const std::string& path, std::vector<TruthFrame>* out, std::string* error) {
    std::string text;
    return readTextFile(path, &text, error) && parseTruth(text, path, out, error);
}

// ---- tracking file ---------------------------------------------------------

bool parseTracking(const std::string& text, const std::string& name, std::vector<TrackingLine>* out,
                   std::string* error) {
    out->clear();
    std::istringstream in(text);
    std::string line;
    int lineNo = 0;
    int blankAt = 0; // first blank line seen, if any
    std::vector<double> v;
    std::string bad;
    while (std::getline(in, line)) {
        ++lineNo;
        if (isBlank(line)) {
            if (!blankAt) blankAt = lineNo;
            continue;
        }
        if (blankAt) { // a tracking file has one line per frame: a gap would shift every later frame
            *error = lineRef(name, blankAt) + "empty line inside the tracking file";
            return false;
        }
        if (!parseNumbers(line, &v, &bad)) {
            *error = lineRef(name, lineNo) + "'" + bad + "' is not a number";
            return false;
        }
        if (v.size() != 7) {
            *error = lineRef(name, lineNo) + "expected 7 numbers (hand 1 x y, hand 2 x y, head x y, time), found " +
                     std::to_string(v.size());
            return false;
        }
        TrackingLine t;
        t.hand1 = {v[0], v[1]};
        t.hand2 = {v[2], v[3]};
        t.head = {v[4], v[5]};
        t.timeMs = v[6];
        out->push_back(t);
    }
    if (out->empty()) {
        *error = name + ": no tracking lines";
        return false;
    }
    return true;
}

bool readTracking(const std::string& path, std::vector<TrackingLine>* out, std::string* error) {
    std::string text;
    return readTextFile(path, &text, error) && parseTracking(text, path, out, error);
}

// ---- calibration -----------------------------------------------------------

std::string formatCalibration(const SceneCalibration& c) {
    auto g = [](double v) { return fmt("%.10g", v); };
    std::string s;
    s += "# calibration of the synthetic signer (reference-frame pixels, origin top-left, y down)\n";
    s += "area " + g(c.area.x) + "," + g(c.area.y) + "," + g(c.area.width) + "," + g(c.area.height) + "\n";
    s += "head " + g(c.head.x) + "," + g(c.head.y) + "," + g(c.head.width) + "," + g(c.head.height) + "\n";
    s += "shoulders " + g(c.shoulderR.x) + "," + g(c.shoulderR.y) + "," + g(c.shoulderL.x) + "," +
         g(c.shoulderL.y) + "\n";
    s += "reference-frame 0\n";
    s += c.shortSleeves ? "sleeves short\n" : "sleeves wrist\n";
    return s;
}

bool parseCalibrationArea(const std::string& text, const std::string& name, cv::Rect2d* area,
                          std::string* error) {
    std::istringstream in(text);
    std::string line;
    int lineNo = 0;
    bool found = false;
    while (std::getline(in, line)) {
        ++lineNo;
        std::istringstream words(stripComment(line));
        std::string key, value, extra;
        if (!(words >> key) || key != "area") continue;
        if (!(words >> value) || (words >> extra)) {
            *error = lineRef(name, lineNo) + "expected 'area X,Y,W,H'";
            return false;
        }
        for (char& ch : value)
            if (ch == ',') ch = ' ';
        std::vector<double> v;
        std::string bad;
        if (!parseNumbers(value, &v, &bad) || v.size() != 4) {
            *error = lineRef(name, lineNo) + "expected 'area X,Y,W,H' with four numbers";
            return false;
        }
        for (double x : v) {
            if (!std::isfinite(x)) {
                *error = lineRef(name, lineNo) + "non-finite value in the image area";
                return false;
            }
        }
        if (!(v[2] > 0 && v[3] > 0)) {
            *error = lineRef(name, lineNo) + "the image area must have a positive width and height";
            return false;
        }
        *area = cv::Rect2d(v[0], v[1], v[2], v[3]);
        found = true;
    }
    if (!found) {
        *error = name + ": no 'area X,Y,W,H' line";
        return false;
    }
    return true;
}

bool readCalibrationArea(const std::string& path, cv::Rect2d* area, std::string* error) {
    std::string text;
    return readTextFile(path, &text, error) && parseCalibrationArea(text, path, area, error);
}

} // namespace vsample
