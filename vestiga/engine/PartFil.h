#pragma once
// The particle filter shared by the body parts: N weighted particles in a
// state space of D dimensions, with systematic resampling, a Gaussian random
// walk and a weighted-mean estimate. The likelihood (computeWeights) and the
// cycle's additions belong to the body-part subclasses.
#include "engine/RandGen.h"
#include "engine/WorkerPool.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace vestiga {

class PartFil {
public:
    PartFil() = default;
    PartFil(const PartFil&) = delete;
    PartFil& operator=(const PartFil&) = delete;
    virtual ~PartFil() = default;

    virtual void computeWeights() = 0;
    // One frame: resample with the last frame's weights, random walk,
    // weigh on this frame's maps.
    virtual void run();
    // Every particle at one starting state (dim values), all with weight 1 / N.
    void placeAll(const double* state);

    // Stores N, sigma and D, sizes the arrays; `rng` is the generator the drift
    // draws from (not owned, shared with the tracker).
    int buildPartFilter(int N, int D, float sigma, RandGen* rng);
    void resample();
    void drift(float f);
    // The draws one drift takes from the generator, in its order (two per
    // coordinate, particle by particle): drawCount() values into out. Taking
    // them ahead (on another thread, for a later frame) and handing them to
    // that frame's drift through presetDraws gives the same particles and
    // leaves the generator where the drift itself would. Reads nothing the
    // filter's run changes.
    void takeDraws(int32_t* out);
    // Draws one drift takes: 2 * nbPart * dim.
    std::size_t drawCount() const { return 2 * static_cast<std::size_t>(nbPart) * static_cast<std::size_t>(dim); }
    // The weighted mean state, per coordinate, over the particles within 1000
    // of the best particle in that coordinate. With no weight above 0, the
    // plain mean of the particles.
    void expectation(double* out) const;
    // expectation, or the values keepEstimate(true) took from it and kept
    // since. The filters read their predecessors' estimates through this:
    // Suivi2D::processFrame keeps each filter's estimate once it has run
    // (nothing else moves the particles while it runs the frame) and lets
    // it go at the end.
    void estimate(double* out) const;
    void keepEstimate(bool keep);

    // Runs body(begin, end, slot) over the particle indices, on the pool's
    // threads when there is a pool; slot tells apart the threads that run at
    // the same time (0 .. threads - 1), for per-thread work space.
    template <class Body>
    void forEachParticle(Body&& body)
    {
        if (pool)
            pool->parallelFor(nbPart, kParticleGrain, body);
        else
            body(0, nbPart, 0);
    }
    // Threads that may run a forEachParticle body at the same time.
    int threadSlots() const { return pool ? pool->threads() : 1; }

    // Particles per chunk of a parallel loop.
    static constexpr int kParticleGrain = 125;

    // State of particle i: dim consecutive doubles.
    double* particle(int i) { return &part[static_cast<std::size_t>(i) * dim]; }
    const double* particle(int i) const { return &part[static_cast<std::size_t>(i) * dim]; }

    int nbPart = 0;
    float sigma = 0;
    int dim = 0;
    std::vector<double> part;    // nbPart * dim, particle-major
    std::vector<double> newPart; // work copy of resample
    std::vector<double> weight;
    std::vector<double> cumWeight;
    RandGen* rng = nullptr;
    // Threads of the per-particle loops (shared by the tracker's filters);
    // none: everything on the calling thread.
    std::shared_ptr<WorkerPool> pool;
    std::vector<int32_t> draws; // work space of drift: two draws per coordinate
    // Draws taken ahead for the next drift (drawCount() of them, from
    // takeDraws), or null: that drift then uses them instead of drawing,
    // and resets this to null. presetVariates, when not null, are the
    // variates of those draws already made (boxMullerFromDraws of each pair,
    // drawCount() / 2 of them): the drift uses them instead of the draws.
    const int32_t* presetDraws = nullptr;
    const double* presetVariates = nullptr;

private:
    std::vector<double> kept_; // dim values while estimateKept_
    bool estimateKept_ = false;
};

} // namespace vestiga
