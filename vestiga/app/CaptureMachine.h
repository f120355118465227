#pragma once
// The steps of recording a clip with the camera, without the camera: a
// countdown while the user takes the pose, a short recording, and a pause
// while the clip file is finished before it is shown. The caller feeds the
// time (milliseconds on any monotonic clock) and the number of frames the
// clip holds, and performs the actions the machine answers with; nothing
// here opens a device or a file.
//
// The recording's length is counted on the clip's own clock: it ends when
// the clip holds recordMs of frames at clipFps, however late the frames
// come on a busy machine (a clip timed by the wall clock alone would hold
// fewer frames the busier the machine). A camera that stops delivering
// frames ends the recording after stallMs all the same.
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
        double clipFps = 25.0;  // frame rate written in the clip
        int stallMs = 5000;     // longest recording when frames stop coming
    };

    CaptureMachine() = default;
    explicit CaptureMachine(Timing timing) : timing_(timing) {}

    // Starts the countdown. False (and nothing changes) during a capture.
    bool start(int64_t nowMs);
    // What to do at time nowMs with a clip of clipFrames frames so far: the
    // step moves on when it is over, at most one step per call, and the clock
    // of the next step starts at nowMs.
    Action advance(int64_t nowMs, int clipFrames = 0);
    // Frames a complete clip holds: recordMs at clipFps, rounded up.
    int clipFrames() const;
    // Back to Idle, e.g. when the recording could not start or the camera
    // window closes.
    void cancel() { step_ = Step::Idle; }

    const Timing& timing() const { return timing_; }
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
