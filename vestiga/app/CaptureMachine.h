#pragma once
// The steps of recording a clip with the camera, without the camera: a
// countdown while the user takes the pose, a short recording, and a pause
// while the clip file is finished before it is shown. The caller feeds the
// time (milliseconds on any monotonic clock) and performs the actions the
// machine answers with; nothing here opens a device or a file.
#include <cstdint>

namespace vestiga {

class CaptureMachine {
public:
    enum class Step { Idle, Countdown, Recording, Settling };
    enum class Action {
        None,
        StartRecording, // the countdown is over: open the clip and record
        StopRecording,  // the clip is long enough: close it
        ShowClip,       // the clip file is complete: show it
    };
    struct Timing {
        int countdownMs = 3000; // the user takes the pose
        int recordMs = 500;     // length of the clip
        int settleMs = 500;     // the clip file is finished before it is shown
    };

    CaptureMachine() = default;
    explicit CaptureMachine(Timing timing) : timing_(timing) {}

    // Starts the countdown. False (and nothing changes) during a capture.
    bool start(int64_t nowMs);
    // What to do at time nowMs: the step moves on when its time is over, at
    // most one step per call, and the clock of the next step starts at nowMs.
    Action advance(int64_t nowMs);
    // Back to Idle, e.g. when the recording could not start or the camera
    // window closes.
    void cancel() { step_ = Step::Idle; }

    Step step() const { return step_; }
    bool busy() const { return step_ != Step::Idle; }
    // Whole seconds left in the countdown, rounded up and at least 1 (what
    // the user reads on the preview); 0 outside the countdown.
    int secondsLeft(int64_t nowMs) const;

private:
    Timing timing_;
    Step step_ = Step::Idle;
    int64_t since_ = 0; // start of the current step
};

} // namespace vestiga
