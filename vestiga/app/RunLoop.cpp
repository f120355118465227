#include "RunLoop.h"

#include <algorithm>
#include <chrono>

namespace vestiga {

RunLoop::RunLoop() = default;

RunLoop::~RunLoop()
{
    stop();
}

bool RunLoop::start(const TrackingOptions& options, std::string* error)
{
    if (run_) {
        if (error)
            *error = "a tracking run was already started";
        return false;
    }
    auto run = std::make_unique<TrackingRun>();
    if (!run->begTrack(options, error))
        return false;
    run_ = std::move(run);
    return true;
}

RunLoop::Tick RunLoop::tick()
{
    Tick t;
    if (!running())
        return t;
    const auto begin = std::chrono::steady_clock::now();
    switch (run_->onTimer(&t.error)) {
    case TrackingRun::Tick::Frame: {
        t.outcome = Outcome::Frame;
        const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now() - begin)
                               .count();
        t.nextDelayMs = int(std::max<int64_t>(1, kTickMs - spent));
        break;
    }
    case TrackingRun::Tick::EndOfVideo:
        t.outcome = Outcome::EndOfVideo;
        run_->stopTrack();
        break;
    case TrackingRun::Tick::Failed:
        t.outcome = Outcome::Failed;
        run_->stopTrack();
        break;
    }
    return t;
}

void RunLoop::stop()
{
    if (run_)
        run_->stopTrack();
}

cv::Mat RunLoop::picture() const
{
    return run_ ? run_->picture() : cv::Mat();
}

} // namespace vestiga
