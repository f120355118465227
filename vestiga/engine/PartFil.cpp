#include "engine/PartFil.h"

#include <opencv2/core.hpp>

#include <algorithm>
#include <cmath>

namespace vestiga {

int PartFil::buildPartFilter(int N, int D, float s, RandGen* generator) {
    nbPart = std::max(N, 0);
    sigma = s;
    dim = std::max(D, 0);
    const std::size_t n = static_cast<std::size_t>(nbPart);
    part.assign(n * dim, 0.0);
    newPart.assign(n * dim, 0.0);
    weight.assign(n, 0.0);
    cumWeight.assign(n, 0.0);
    rng = generator;
    return 1;
}

void PartFil::run() {
    resample();
    drift(1.0f);
    computeWeights();
}

void PartFil::placeAll(const double* state) {
    for (int i = 0; i < nbPart; ++i) {
        double* p = particle(i);
        for (int j = 0; j < dim; ++j)
            p[j] = state[j];
        weight[i] = 1.0 / nbPart;
    }
}

void PartFil::resample() {
    // Systematic resampling with no random offset: N equally spaced pointers
    // u = 0, step, 2 step, ... walk along the cumulative weights; pointer u
    // takes the first particle k whose cumulative weight reaches u, so a
    // particle is copied about N * weight / total times.
    const int N = nbPart;
    if (N <= 0)
        return;
    const std::size_t D = static_cast<std::size_t>(dim);
    cumWeight[0] = weight[0];
    for (int i = 1; i < N; ++i)
        cumWeight[i] = cumWeight[i - 1] + weight[i];
    const double step = cumWeight[N - 1] / N;
    // The copies of the filters' 2 and 4 coordinates are spelled out with a
    // fixed length: a library call per particle would cost more than the copy.
    const auto walk = [&](auto copy) {
        double u = 0;
        int k = 0;
        for (int i = 0; i < N; ++i) {
            while (k < N && u > cumWeight[k])
                ++k;
            if (k == N)
                k = N - 1;
            copy(part.data() + k * D, newPart.data() + i * D);
            u = u + step;
        }
    };
    if (D == 2)
        walk([](const double* from, double* to) { std::copy_n(from, 2, to); });
    else if (D == 4)
        walk([](const double* from, double* to) { std::copy_n(from, 4, to); });
    else
        walk([D](const double* from, double* to) { std::copy_n(from, D, to); });
    part.swap(newPart); // every particle was written: no copy needed
    std::fill(weight.begin(), weight.end(), 1.0 / N);
}

void PartFil::drift(float f) {
    const float s = f * sigma;
    // One normal variate of deviation s per coordinate, particle by particle.
    // The draws are taken in that order first (the generator is sequential),
    // unless they were taken ahead; turning each pair into its variate is
    // independent of the others and is shared among the threads.
    const int32_t* d = presetDraws;
    const double* v = presetVariates;
    presetDraws = nullptr;
    presetVariates = nullptr;
    const std::size_t n = part.size();
    if (v) {
        // The same products and sums as below, on variates made ahead.
        for (std::size_t k = 0; k < n; ++k)
            part[k] = part[k] + v[k] * s;
        return;
    }
    if (!d) {
        CV_Assert(rng != nullptr && "the filter draws from the generator given to buildPartFilter");
        draws.resize(2 * n);
        rng->fill(draws.data(), 2 * n);
        d = draws.data();
    }
    const std::size_t D = static_cast<std::size_t>(dim);
    forEachParticle([this, s, D, d](int begin, int end, int) {
        for (std::size_t k = begin * D; k < end * D; ++k)
            part[k] = part[k] + boxMullerFromDraws(d[2 * k], d[2 * k + 1]) * s;
    });
}

void PartFil::takeDraws(int32_t* out) {
    CV_Assert(rng != nullptr && "the filter draws from the generator given to buildPartFilter");
    // drawCount() rather than part.size(): this may run on another thread
    // while the filter swaps its arrays.
    rng->fill(out, drawCount());
}

void PartFil::expectation(double* out) const {
    const int N = nbPart;
    const int D = dim;
    // Reference particle: the first of largest weight, if that weight is above 0.
    int ref = -1;
    double best = 0;
    for (int i = 0; i < N; ++i) {
        if (weight[i] > best) {
            best = weight[i];
            ref = i;
        }
    }
    if (ref < 0) {
        // No particle carries weight: the plain mean of the particles.
        for (int j = 0; j < D; ++j) {
            double s = 0;
            for (int k = 0; k < N; ++k)
                s += particle(k)[j];
            out[j] = N > 0 ? s / N : 0.0;
        }
        return;
    }
    const double* r = particle(ref);
    // Per coordinate, the weighted mean over the particles within 1000 of the
    // reference in that coordinate (a particle far off in x still counts for y).
    // The mean is summed in a local (out may not be read back at every step),
    // term by term in the particles' order.
    for (int j = 0; j < D; ++j) {
        const double rj = r[j];
        double sum = 0;
        for (int k = 0; k < N; ++k)
            if (std::fabs(rj - particle(k)[j]) < 1000)
                sum += weight[k];
        double mean = 0;
        for (int k = 0; k < N; ++k)
            if (std::fabs(rj - particle(k)[j]) < 1000)
                mean = mean + particle(k)[j] * weight[k] / sum;
        out[j] = mean;
    }
}

void PartFil::estimate(double* out) const {
    if (estimateKept_)
        std::copy(kept_.begin(), kept_.end(), out);
    else
        expectation(out);
}

void PartFil::keepEstimate(bool keep) {
    estimateKept_ = false;
    if (keep) {
        kept_.resize(static_cast<std::size_t>(dim));
        expectation(kept_.data());
        estimateKept_ = true;
    }
}

} // namespace vestiga
