#include "sample/SignerScript.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace vsample {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Hand targets of the default script (x, y, z): z is toward the camera.
const cv::Point3d kRest1(262, 428, 40), kRest2(378, 428, 40);
const cv::Point3d kSign1(250, 300, 50), kSign2(390, 300, 50);
const cv::Point3d kLow2(392, 345, 50);
const cv::Point3d kHigh1(200, 178, 60), kHigh2(440, 178, 60);
const cv::Point3d kMid1(250, 290, 50), kMid2(390, 290, 50);
const cv::Point3d kShift(25, -30, 0);

double ease(double s) {
    s = std::min(1.0, std::max(0.0, s));
    return 0.5 - 0.5 * std::cos(kPi * s);
}

cv::Point3d lerp(const cv::Point3d& a, const cv::Point3d& b, double s) { return a + (b - a) * s; }

// Builds a key list from durations: each step lasts `dt` seconds and ends on
// the given targets. Steps whose targets repeat the previous ones are holds.
struct KeyList {
    std::vector<ScriptKey> keys;
    double t = 0;
    KeyList() { keys.push_back({0.0, kRest1, kRest2}); }
    KeyList& to(double dt, const cv::Point3d& a, const cv::Point3d& b) {
        t += dt;
        keys.push_back({t, a, b});
        return *this;
    }
    KeyList& hold(double dt) { return to(dt, keys.back().h1, keys.back().h2); }
};

// Places near the face (the face is centred on (320, 120), 80 x 104 pixels).
const cv::Point3d kChin(320, 186, 70), kCheekR(286, 136, 70), kCheekL(354, 136, 70);
const cv::Point3d kChinHold2(328, 190, 70);

std::vector<ScriptKey> crossingKeys() {
    KeyList k;
    k.hold(0.6)
        .to(0.8, kSign1, kSign2)
        .to(0.8, {382, 312, 70}, {262, 300, 40}) // hand 1 crosses over hand 2
        .hold(0.5)
        .to(0.8, kSign1, kSign2)
        .to(0.7, {372, 256, 70}, {270, 276, 40}) // crossing higher up
        .hold(0.3)
        .to(0.6, kSign1, kSign2)
        .to(0.7, {302, 300, 60}, {338, 300, 50}) // the hands touch
        .hold(0.5)
        .to(0.7, {362, 300, 70}, {280, 304, 40}) // and slide past each other
        .to(0.7, kSign1, kSign2)
        .to(0.7, kSign1, {236, 322, 60})          // hand 2 alone crosses
        .to(0.7, kSign1, kSign2)
        .to(0.7, kRest1, kRest2);
    return k.keys;
}

std::vector<ScriptKey> faceKeys() {
    KeyList k;
    k.hold(0.6)
        .to(0.8, kChin, {392, 320, 50}) // hand 1 to the chin
        .hold(0.5)
        .to(0.5, kCheekR, {392, 320, 50}) // to the cheek, tapping
        .to(0.2, kCheekR - cv::Point3d(20, 0, 10), {392, 320, 50})
        .to(0.2, kCheekR, {392, 320, 50})
        .to(0.2, kCheekR - cv::Point3d(20, 0, 10), {392, 320, 50})
        .to(0.2, kCheekR, {392, 320, 50})
        .to(0.7, kSign1, kCheekL) // hand 2 to its cheek
        .hold(0.5)
        .to(0.5, kSign1, kChinHold2) // and to the chin
        .to(0.6, kCheekR, kChinHold2)  // both hands at the face
        .hold(0.6)
        .to(0.7, kCheekL + cv::Point3d(4, 4, 6), {400, 300, 50}) // hand 1 across the face
        .hold(0.4)
        .to(0.8, kSign1, kSign2)
        .to(0.7, kRest1, kRest2);
    return k.keys;
}

std::vector<ScriptKey> quickKeys() {
    KeyList k;
    k.hold(0.6)
        .to(0.4, {200, 176, 60}, {420, 396, 40})  // one hand up, one down
        .to(0.3, {236, 396, 40}, {444, 176, 60})  // and the other way round
        .to(0.3, {200, 176, 60}, {420, 396, 40})
        .to(0.4, {176, 290, 40}, {464, 290, 40})  // wide apart
        .to(0.25, {340, 282, 70}, {464, 290, 40}) // a fast sweep inward
        .to(0.25, {176, 290, 40}, {464, 290, 40})
        .to(0.25, {176, 290, 40}, {300, 282, 70})
        .to(0.25, {176, 290, 40}, {464, 290, 40})
        .to(0.5, {250, 226, 60}, {390, 226, 60})  // up to the shoulders
        .to(0.3, {250, 380, 60}, {390, 380, 60})  // fast drops and rises
        .to(0.3, {250, 226, 60}, {390, 226, 60})
        .to(0.3, {250, 380, 60}, {390, 380, 60})
        .to(0.4, {300, 250, 80}, {344, 340, 70})  // a fast diagonal
        .to(0.3, {210, 360, 40}, {432, 214, 60})
        .to(0.5, kSign1, kSign2)
        .to(0.6, kRest1, kRest2);
    return k.keys;
}

std::vector<ScriptKey> mixedKeys() {
    KeyList k;
    k.hold(0.5)
        .to(0.7, kSign1, kSign2)
        .to(0.7, {378, 304, 70}, {266, 300, 40}) // crossing
        .hold(0.3)
        .to(0.6, kSign1, kSign2)
        .to(0.7, kChin, kSign2)                  // chin
        .hold(0.4)
        .to(0.4, kCheekR, kSign2)                // cheek
        .to(0.6, kSign1, kCheekL)
        .hold(0.3)
        .to(0.3, {200, 180, 60}, {420, 392, 40}) // quick
        .to(0.3, {236, 392, 40}, {444, 180, 60})
        .to(0.3, {176, 290, 40}, {464, 290, 40})
        .to(0.6, {304, 300, 60}, {336, 300, 50}) // touching hands
        .hold(0.4)
        .to(0.6, kSign1, kSign2)
        .to(0.7, kRest1, kRest2);
    return k.keys;
}

// Moves every key pose but the first and last by up to `amount` pixels and
// stretches each step by 0.85 to 1.15, from the variant's own generator.
void vary(std::vector<ScriptKey>& keys, uint32_t variant) {
    std::mt19937 gen(variant * 2654435761u + 17u);
    auto uni = [&](double a, double b) { return a + (b - a) * (double(gen()) / 4294967296.0); };
    std::vector<double> dts;
    for (size_t i = 1; i < keys.size(); ++i) dts.push_back((keys[i].t - keys[i - 1].t) * uni(0.85, 1.15));
    for (size_t i = 1; i + 1 < keys.size(); ++i) {
        // Holds keep their pose: only a key that differs from the previous
        // one gets a fresh offset.
        const bool same = keys[i].h1 == keys[i - 1].h1 && keys[i].h2 == keys[i - 1].h2;
        cv::Point3d d1(uni(-14, 14), uni(-14, 14), uni(-8, 8)), d2(uni(-14, 14), uni(-14, 14), uni(-8, 8));
        if (same) {
            keys[i].h1 = keys[i - 1].h1;
            keys[i].h2 = keys[i - 1].h2;
        } else {
            keys[i].h1 += d1;
            keys[i].h2 += d2;
        }
    }
    double t = 0;
    for (size_t i = 1; i < keys.size(); ++i) {
        t += dts[i - 1];
        keys[i].t = t;
    }
}

} // namespace

void defaultTargets(double f, cv::Point3d& h1, cv::Point3d& h2) {
    if (f < 15) { // rest
        h1 = kRest1;
        h2 = kRest2;
    } else if (f < 40) { // both hands rise into the signing space
        double e = ease((f - 15) / 25.0);
        h1 = lerp(kRest1, kSign1, e);
        h2 = lerp(kRest2, kSign2, e);
    } else if (f < 90) { // two mirrored circles of each hand, inward and up first
        double t = 2.0 * kPi * 2.0 * (f - 40) / 50.0;
        double r = 30;
        h1 = kSign1 + cv::Point3d(r * std::sin(t), -r * (1.0 - std::cos(t)), 0);
        h2 = kSign2 + cv::Point3d(-r * std::sin(t), -r * (1.0 - std::cos(t)), 0);
    } else if (f < 130) { // hand 1 back and forth (inward), hand 2 goes down and holds
        double s = (f - 90) / 40.0;
        h1 = kSign1 + cv::Point3d(45 * (0.5 - 0.5 * std::cos(2.0 * kPi * 2.0 * s)), 0, 0);
        h2 = lerp(kSign2, kLow2, ease(s * 4.0));
    } else if (f < 165) { // both hands rise in arcs, bulging inward, to beside the head
        double e = ease((f - 130) / 35.0);
        double bulge = 35 * std::sin(kPi * e);
        h1 = lerp(kSign1, kHigh1, e) + cv::Point3d(bulge, 0, 0);
        h2 = lerp(kLow2, kHigh2, e) + cv::Point3d(-bulge, 0, 0);
    } else if (f < 180) { // hold
        h1 = kHigh1;
        h2 = kHigh2;
    } else if (f < 195) { // both come down in front of the chest
        double e = ease((f - 180) / 15.0);
        h1 = lerp(kHigh1, kMid1, e);
        h2 = lerp(kHigh2, kMid2, e);
    } else if (f < 222) { // hand 2 taps three times, hand 1 holds
        double s = (f - 195) / 27.0;
        h1 = kMid1;
        h2 = kMid2 + cv::Point3d(0, 28 * std::fabs(std::sin(3.0 * kPi * s)), 0);
    } else if (f < 236) { // both hands shift together
        double e = ease((f - 222) / 14.0);
        h1 = kMid1 + kShift * e;
        h2 = kMid2 + kShift * e;
    } else { // back to rest
        double e = ease((f - 236) / 13.0);
        h1 = lerp(kMid1 + kShift, kRest1, e);
        h2 = lerp(kMid2 + kShift, kRest2, e);
    }
}

std::vector<std::string> SignerScript::names() { return {"default", "crossing", "face", "quick", "mixed"}; }

bool SignerScript::load(const std::string& name, uint32_t variant, std::string* error) {
    std::vector<ScriptKey> keys;
    if (name == "default") {
        keys.clear();
    } else if (name == "crossing") {
        keys = crossingKeys();
    } else if (name == "face") {
        keys = faceKeys();
    } else if (name == "quick") {
        keys = quickKeys();
    } else if (name == "mixed") {
        keys = mixedKeys();
    } else {
        std::string list;
        for (const std::string& n : names()) list += (list.empty() ? "" : ", ") + n;
        *error = "unknown movement script '" + name + "' (known: " + list + ")";
        return false;
    }
    if (!keys.empty() && variant != 0) vary(keys, variant);
    name_ = name;
    keys_ = std::move(keys);
    return true;
}

double SignerScript::duration() const { return keys_.empty() ? 10.0 : keys_.back().t; }

void SignerScript::targets(double t, cv::Point3d& h1, cv::Point3d& h2) const {
    const double d = duration();
    t = std::fmod(t, d);
    if (t < 0) t += d;
    if (keys_.empty()) {
        defaultTargets(t * 25.0, h1, h2);
        return;
    }
    size_t i = 1;
    while (i + 1 < keys_.size() && keys_[i].t <= t) ++i;
    const ScriptKey& a = keys_[i - 1];
    const ScriptKey& b = keys_[i];
    const double e = b.t > a.t ? ease((t - a.t) / (b.t - a.t)) : 1.0;
    h1 = lerp(a.h1, b.h1, e);
    h2 = lerp(a.h2, b.h2, e);
}

} // namespace vsample
