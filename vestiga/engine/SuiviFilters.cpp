// The tracker's five body-part filters: their creation, the body-part
// templates built from the calibration, their starting states, the per-frame
// run and the expectation vector.
//
// All sizes are fractions of the processed picture's height R = resH. A
// template is a list of corner points (dx, dy) with weights: a rectangle's
// pixel sum is +I at its top-left and bottom-right corners and -I at the other
// two, so four corners weighted (+w, -w, +w, -w) add w times the rectangle's
// sum, and the vertices of a rectilinear polygon with alternating signs add
// its sum. Weights are divided by 255 times a nominal area, so that a score
// lies roughly between -1 and 1.
#include "engine/Suivi2D.h"
#include "engine/WorkerPool.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <sstream>

namespace vestiga {

namespace {

// Fills a template from points and unnormalised weights, dividing every
// weight by 255 * norm (in double precision, stored in single precision).
void fillTemplate(IntFil& fil, const int* dx, const int* dy, const double* w, int n, int norm)
{
    std::vector<float> coef(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k)
        coef[static_cast<std::size_t>(k)] = static_cast<float>(w[k] / (255.0 * norm));
    fil.InitFil(dx, dy, coef.data(), n);
}

// Offsets of the trunk shapes, in units of B (the body scale in pixels):
// c * B * t for a positive entry, -B * c * t for a negative one, truncated.
int offsetBt(double c, int B, float t)
{
    return c >= 0 ? static_cast<int>(c * B * t) : static_cast<int>(-B * -c * t);
}
int offsetB(double c, int B)
{
    return c >= 0 ? static_cast<int>(c * B) : static_cast<int>(-B * -c);
}

// The template normalisers; each must be positive.
int headNorm(int R, float hew, float heh) { return static_cast<int>(static_cast<float>(R * R) * hew * heh); }
int torsoNorm(int B) { return static_cast<int>(static_cast<double>(B * B) * 0.35 * 0.89); }
float armArea(int R, float bSc) { return static_cast<float>(R * R) * bSc * bSc; }
int arm1Norm(int R, float bSc) { return static_cast<int>(armArea(R, bSc) * 0.14); }
int arm2Norm(int R, float bSc) { return static_cast<int>(armArea(R, bSc) * 0.05 * 0.05); }
int arm3Norm(int R, float bSc) { return static_cast<int>(armArea(R, bSc) * 0.3 * 0.1); }

// The five filters exist (buildPartFilter) and are linked to their templates,
// maps and neighbours (initFilter; the hand filter is initialised last).
bool filtersReady(const Suivi2D& t)
{
    return t.headPF && t.torsoPF && t.elbowPFR && t.elbowPFL && t.handPF && t.handPF->headPF;
}

// Hands one pool to the five filters.
void sharePool(Suivi2D& t, const std::shared_ptr<WorkerPool>& pool)
{
    for (PartFil* pf : {static_cast<PartFil*>(t.headPF.get()), static_cast<PartFil*>(t.torsoPF.get()),
                        static_cast<PartFil*>(t.elbowPFR.get()), static_cast<PartFil*>(t.elbowPFL.get()),
                        static_cast<PartFil*>(t.handPF.get())})
        pf->pool = pool;
}

} // namespace

// ---------------------------------------------------------------- creation

void Suivi2D::buildPartFilter()
{
    // Drift scales: a fiftieth of the body scale for head and torso, a
    // twenty-fifth for the elbows, a thirtieth for the hands.
    const int N = opt.particles;
    const float base = (static_cast<float>(resW) * opt.driftScale) * opt.bodyScale;
    // The five filters weigh their particles on one pool of threads, made
    // once per set of filters; a rebuild keeps the number of threads.
    const auto pool = std::make_shared<WorkerPool>(trackerThreads(*this));
    headPF = std::make_unique<HeadPartFil>();
    headPF->buildPartFilter(N, 2, base / 50, &rng);
    torsoPF = std::make_unique<TorsoPartFil>();
    torsoPF->buildPartFilter(N, 2, base / 50, &rng);
    elbowPFR = std::make_unique<ElbowPartFil>();
    elbowPFR->buildPartFilter(N, 2, base / 25, &rng);
    elbowPFL = std::make_unique<ElbowPartFil>();
    elbowPFL->buildPartFilter(N, 2, base / 25, &rng);
    handPF = std::make_unique<HandPartFil>();
    handPF->buildPartFilter(N, 4, base / 30, &rng);
    sharePool(*this, pool);
}

int setTrackerThreads(Suivi2D& t, int threads)
{
    if (!t.headPF || !t.torsoPF || !t.elbowPFR || !t.elbowPFL || !t.handPF)
        return 0;
    // The old pool's threads are joined when the last filter lets it go.
    sharePool(t, std::make_shared<WorkerPool>(std::max(threads, 1)));
    return 1;
}

int trackerThreads(const Suivi2D& t)
{
    return t.headPF && t.headPF->pool ? t.headPF->pool->threads() : defaultTrackerThreads();
}

std::string Suivi2D::checkBodySizes() const
{
    const int R = resH;
    const float hew = opt.headWidth, heh = opt.headHeight, haw = opt.handWidth, bSc = opt.bodyScale;
    std::ostringstream why;
    if (R < 6)
        why << "the processed picture is " << R << " rows high (at least 6 needed)";
    else if (headNorm(R, hew, heh) <= 0)
        why << "the head box is smaller than one pixel";
    else if (static_cast<int>(static_cast<float>(R) * haw) < 1)
        why << "the hand width is below one pixel";
    else if (torsoNorm(static_cast<int>(static_cast<float>(R) * bSc)) <= 0 || arm1Norm(R, bSc) <= 0
             || arm2Norm(R, bSc) <= 0 || arm3Norm(R, bSc) <= 0)
        why << "the body scale " << bSc << " is too small for a picture " << R << " rows high";
    return why.str();
}

bool Suivi2D::initFilter()
{
    if (!headPF || !torsoPF || !elbowPFR || !elbowPFL || !handPF)
        return false; // buildPartFilter has not run
    initHeadFilter();
    initTorsoFilter();
    initElbowFilter();
    initHandFilter();

    const int R = resH;
    // Head: starts at the centre, stays in the middle third across and
    // between a sixth and a half of the height.
    headPF->initialize(resW / 2, R / 2, intHeadFil.get(), resW / 3, R / 6, (2 * resW) / 3, R / 2, &intSkinMap);
    // Torso: middle third across, between a quarter and two thirds of the
    // height, never above the head.
    torsoPF->initialize(resW / 2, R / 2, intTorsoFil.get(), resW / 3, R / 4, (2 * resW) / 3, (2 * R) / 3,
                        &intBgMap, headPF.get());
    const int armLen = static_cast<int>(opt.bodyScale * 0.25 * R);
    elbowPFR->initialize(resW / 4, R / 2, intElbowRFil1.get(), intElbowRFil2.get(), intElbowRFil3.get(), armLen,
                         &intBgMap, torsoPF.get(), 'r');
    elbowPFL->initialize((3 * resW) / 4, R / 2, intElbowRFil1.get(), intElbowRFil2.get(), intElbowRFil3.get(),
                         armLen, &intBgMap, torsoPF.get(), 'l');
    // Hand 1 hangs on the right elbow, hand 2 on the left one.
    const float fR = static_cast<float>(R);
    handPF->initialize(resW / 2, R / 2, static_cast<int>(fR * opt.handWidth), static_cast<int>(fR * opt.headWidth),
                       static_cast<int>(fR * opt.headHeight), opt.sleeves, &intSkinMap, elbowPFR.get(),
                       elbowPFL.get(), headPF.get());
    return true;
}

// ---------------------------------------------------------------- templates

void Suivi2D::initHeadFilter()
{
    // The head box (a x b) against the box sqrt(2) larger each way, which has
    // twice its area: 2 * inner - outer is the inner box minus the equal ring.
    const int R = resH;
    const float hew = opt.headWidth, heh = opt.headHeight;
    const float a = hew * static_cast<float>(R);
    const float b = heh * static_cast<float>(R);
    const float root2 = 1.4142135f;
    const int ox = static_cast<int>(a / root2), oy = static_cast<int>(b / root2);
    const int nox = static_cast<int>(-a / root2), noy = static_cast<int>(-b / root2);
    const int ix = static_cast<int>(a * 0.5), iy = static_cast<int>(b * 0.5);
    const int nix = static_cast<int>(-a * 0.5), niy = static_cast<int>(-b * 0.5);
    const int dx[8] = {nox, ox, ox, nox, nix, ix, ix, nix};
    const int dy[8] = {noy, noy, oy, oy, niy, niy, iy, iy};
    const double w[8] = {-1, 1, -1, 1, 2, -2, 2, -2};
    intHeadFil = std::make_unique<IntFil>();
    fillTemplate(*intHeadFil, dx, dy, w, 8, headNorm(R, hew, heh));
}

void Suivi2D::initTorsoFilter()
{
    // A neck (0.2 Bt wide, from 0.3 B to 0.07 B above the centre) on a trunk
    // (0.46 Bt wide, from 0.07 B above to 0.3 B below), counted twice, minus
    // the 1.0 Bt x 0.6 B box that contains them.
    const int B = static_cast<int>(static_cast<float>(resH) * opt.bodyScale);
    const float t = opt.thickness;
    const double cx[12] = {-0.1, 0.1, 0.1, 0.23, 0.23, -0.23, -0.23, -0.1, -0.5, 0.5, 0.5, -0.5};
    const double cy[12] = {-0.3, -0.3, -0.07, -0.07, 0.3, 0.3, -0.07, -0.07, -0.3, -0.3, 0.3, 0.3};
    const double w[12] = {2, -2, 2, -2, 2, -2, 2, -2, -1, 1, -1, 1};
    int dx[12], dy[12];
    for (int k = 0; k < 12; ++k) {
        dx[k] = offsetBt(cx[k], B, t);
        dy[k] = offsetB(cy[k], B);
    }
    intTorsoFil = std::make_unique<IntFil>();
    fillTemplate(*intTorsoFil, dx, dy, w, 12, torsoNorm(B));
}

void Suivi2D::initElbowFilter()
{
    const int R = resH;
    const float bSc = opt.bodyScale;
    const int B = static_cast<int>(static_cast<float>(R) * bSc);
    const float t = opt.thickness;

    // Arm 1: a trunk reaching 0.3 Bt left of its axis and 0.23 Bt right, with
    // a neck, against the box from 0.5 Bt left to 0.23 Bt right between the
    // trunk's top and bottom; the box minus the trunk is the upper arm hanging
    // beside it. Shifted so that the trunk lies right of and above the elbow.
    {
        const double cx[12] = {-0.1, 0.1, 0.1, 0.23, 0.23, -0.3, -0.3, -0.1, -0.5, 0.23, 0.23, -0.5};
        const double cy[12] = {-0.3, -0.3, -0.07, -0.07, 0.3, 0.3, -0.07, -0.07, -0.07, -0.07, 0.3, 0.3};
        const double w[12] = {2, -2, 2, -2, 2, -2, 2, -2, -1, 1, -1, 1};
        int dx[12], dy[12];
        for (int k = 0; k < 12; ++k) {
            dx[k] = static_cast<int>(offsetBt(cx[k], B, t) + 0.28 * B * t);
            dy[k] = static_cast<int>(offsetB(cy[k], B) + B * (-0.28));
        }
        intElbowRFil1 = std::make_unique<IntFil>();
        fillTemplate(*intElbowRFil1, dx, dy, w, 12, arm1Norm(R, bSc));
    }

    const float bodyPos = static_cast<float>(R) * bSc;
    const float bodyNeg = static_cast<float>(-R) * bSc;
    const auto plus = [bodyPos](double c) { return static_cast<int>(c * bodyPos); };
    const auto minus = [bodyNeg](double c) { return static_cast<int>(c * bodyNeg); };

    // Arm 2: a square about the elbow against a larger box extending it to
    // the left and downward.
    {
        const int em = minus(0.05), ep = plus(0.05), fm = minus(0.09), fp = plus(0.09);
        const int dx[8] = {em, ep, ep, em, fm, ep, ep, fm};
        const int dy[8] = {em, em, ep, ep, em, em, fp, fp};
        const double w[8] = {2, -2, 2, -2, -1, 1, -1, 1};
        intElbowRFil2 = std::make_unique<IntFil>();
        fillTemplate(*intElbowRFil2, dx, dy, w, 8, arm2Norm(R, bSc));
    }

    // Arm 3: an L (a bar across the elbow and a bar going down on its right)
    // minus twice the box that holds it.
    {
        const int gm = minus(0.05), gp = plus(0.05), hm = minus(0.15), hp = plus(0.15);
        const int dx[10] = {gm, hp, hp, gp, gp, gm, hm, hp, hp, hm};
        const int dy[10] = {gm, gm, hp, hp, gp, gp, gm, gm, hp, hp};
        const double w[10] = {1, -1, 1, -1, 1, -1, -2, 2, -2, 2};
        intElbowRFil3 = std::make_unique<IntFil>();
        fillTemplate(*intElbowRFil3, dx, dy, w, 10, arm3Norm(R, bSc));
    }
}

void Suivi2D::initHandFilter()
{
    // Only drawn: a square of the hand's width about each hand estimate.
    const int s = static_cast<int>(static_cast<float>(resH) * opt.handWidth);
    const int p = s / 2;
    const int m = (-s) / 2;
    const int dx[4] = {m, m, p, p};
    const int dy[4] = {m, p, p, m};
    const float coef[4] = {1, 1, 1, 1};
    intHandFil = std::make_unique<IntFil>();
    intHandFil->InitFil(dx, dy, coef, 4);
}

// ---------------------------------------------------------------- per frame

PartFil* Suivi2D::filter(Part part)
{
    switch (part) {
    case Part::Head:
        return headPF.get();
    case Part::Torso:
        return torsoPF.get();
    case Part::ElbowR:
        return elbowPFR.get();
    case Part::ElbowL:
        return elbowPFL.get();
    case Part::Hands:
        return handPF.get();
    }
    return nullptr;
}

bool Suivi2D::track(Part part)
{
    if (!filtersReady(*this))
        return false;
    filter(part)->run();
    return true;
}

bool Suivi2D::processFrame(BodyEstimate* out)
{
    if (!filtersReady(*this))
        return false;
    // Each filter reads the estimates its predecessors made on this frame,
    // each taken once, when its filter has run; they are let go at the end
    // (also when a filter throws), after the frame's estimate is read.
    struct LetGo {
        Suivi2D& t;
        ~LetGo()
        {
            for (int k = 0; k < kParts; ++k)
                t.filter(static_cast<Part>(k))->keepEstimate(false);
        }
    } letGo{*this};
    for (int k = 0; k < kParts; ++k) {
        PartFil* f = filter(static_cast<Part>(k));
        f->run();
        f->keepEstimate(true);
    }
    if (out)
        *out = estimate();
    return true;
}

void Suivi2D::takeDraws(const Part* parts, int n, std::vector<int32_t>& out)
{
    out.clear();
    for (int k = 0; k < n; ++k) {
        PartFil* f = filter(parts[k]);
        if (!f)
            continue;
        const std::size_t at = out.size();
        out.resize(at + f->drawCount());
        f->takeDraws(out.data() + at);
    }
}

void Suivi2D::useDraws(const Part* parts, int n, const std::vector<int32_t>& draws,
                       const std::vector<double>* variates)
{
    std::size_t at = 0;
    for (int k = 0; k < n; ++k) {
        PartFil* f = filter(parts[k]);
        if (!f)
            continue;
        const std::size_t count = f->drawCount();
        CV_Assert(at + count <= draws.size());
        f->presetDraws = draws.data() + at;
        f->presetVariates = variates && at + count <= 2 * variates->size() ? variates->data() + at / 2 : nullptr;
        at += count;
    }
}

BodyEstimate Suivi2D::estimate() const
{
    BodyEstimate e;
    if (!filtersReady(*this))
        return e;
    double xy[2], hands[4];
    torsoPF->estimate(xy);
    e.torso = {xy[0], xy[1]};
    headPF->estimate(xy);
    e.head = {xy[0], xy[1]};
    elbowPFR->estimate(xy);
    e.elbowR = {xy[0], xy[1]};
    elbowPFL->estimate(xy);
    e.elbowL = {xy[0], xy[1]};
    handPF->estimate(hands);
    e.hand1 = {hands[0], hands[1]};
    e.hand2 = {hands[2], hands[3]};
    return e;
}

} // namespace vestiga
