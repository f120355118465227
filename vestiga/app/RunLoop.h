#pragma once
// The tracking run as the application paces it: one run per program, one
// frame per tick, the next tick due kTickMs after the start of this one (a
// slow tick delays the next one instead of letting ticks pile up), and the
// end of the run told apart from a failure. No Qt: the controller owns the
// timer and the windows, this class the run.
#include "run/TrackingRun.h"

#include <opencv2/core.hpp>

#include <cstdint>
#include <memory>
#include <string>

namespace vestiga {

class RunLoop {
public:
    static constexpr int kTickMs = 40; // 25 frames per second

    enum class Outcome {
        Idle,       // no run going: nothing done
        Frame,      // a frame was tracked and its line written
        EndOfVideo, // no further frame: the outputs are closed
        Failed,     // the run cannot go on: the outputs are closed, the lines kept
    };
    struct Tick {
        Outcome outcome = Outcome::Idle;
        int nextDelayMs = 0;  // Frame: when the next tick is due
        std::string error;    // Failed: why
    };

    RunLoop();
    ~RunLoop();
    RunLoop(const RunLoop&) = delete;
    RunLoop& operator=(const RunLoop&) = delete;

    // Sets the run up. Refused with a message when a run was already started
    // by this loop (whether or not it is over) or when the run refuses its
    // inputs; then nothing is written.
    bool start(const TrackingOptions& options, std::string* error);
    // One tick; the outputs are closed when the run ends or fails.
    Tick tick();
    // Closes the outputs; later ticks do nothing. Safe to call at any time.
    void stop();

    bool started() const { return bool(run_); }
    bool running() const { return run_ && run_->running(); }
    int64_t framesDone() const { return run_ ? run_->posFrame() : 0; }
    // -1 when unknown (camera mode) or before the start.
    int64_t totalFrames() const { return run_ ? run_->totalFrames() : -1; }
    // The last processed picture with the estimates drawn on it.
    cv::Mat picture() const;

private:
    std::unique_ptr<TrackingRun> run_;
};

} // namespace vestiga
