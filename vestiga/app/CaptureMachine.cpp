#include "CaptureMachine.h"

#include <algorithm>
#include <cmath>

namespace vestiga {

bool CaptureMachine::start(int64_t nowMs)
{
    if (busy())
        return false;
    step_ = Step::Countdown;
    since_ = nowMs;
    return true;
}

int CaptureMachine::clipFrames() const
{
    return std::max(1, int(std::ceil(timing_.recordMs * timing_.clipFps / 1000.0)));
}

CaptureMachine::Action CaptureMachine::advance(int64_t nowMs, int clipFrames)
{
    const int64_t t = nowMs - since_;
    switch (step_) {
    case Step::Idle:
        return Action::None;
    case Step::Countdown:
        if (t < timing_.countdownMs)
            return Action::None;
        step_ = Step::Recording;
        since_ = nowMs;
        return Action::StartRecording;
    case Step::Recording:
        if (clipFrames < this->clipFrames() && t < timing_.stallMs)
            return Action::None;
        step_ = Step::Settling;
        since_ = nowMs;
        return Action::StopRecording;
    case Step::Settling:
        if (t < timing_.settleMs)
            return Action::None;
        step_ = Step::Idle;
        return Action::ShowClip;
    }
    return Action::None;
}

int CaptureMachine::secondsLeft(int64_t nowMs) const
{
    if (step_ != Step::Countdown)
        return 0;
    const int64_t leftMs = timing_.countdownMs - (nowMs - since_);
    // Ceiling of a millisecond count in whole seconds.
    const int64_t seconds = leftMs > 0 ? (leftMs + 999) / 1000 : 0;
    return int(std::max<int64_t>(1, seconds));
}

} // namespace vestiga
