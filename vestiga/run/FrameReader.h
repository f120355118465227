#pragma once
// The read-ahead decoder of a file-mode tracking run (private to TrackingRun).
#include "run/TrackingRun.h"

#include <opencv2/videoio.hpp>

#include <condition_variable>
#include <ctime>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace vestiga {

// Decodes a file's frames ahead of the tracker, in order, on its own thread,
// with the reader's position noted right after each read, and hands each
// decoded frame to `prepare` on that thread (the tracker's random draws for
// the frame, made while the tracker works on earlier ones), with the number
// of frames then waiting for the tracker. At most kDepth frames wait; the
// thread ends at the first frame that cannot be read. The buffers of every
// item are reused for later frames: no allocation per frame once the first
// few have gone round.
struct TrackingRun::FrameReader {
    struct Item {
        cv::Mat pic;
        double posMsec = 0, posFrames = 0;
        bool ok = false;
        // Filled by `prepare`.
        std::vector<int32_t> draws;
        std::vector<double> variates;
        bool prepared = false;
    };
    using Prepare = std::function<void(Item&, size_t waiting)>;
    static constexpr size_t kDepth = 4;

    // cpuSeconds, when given, receives the processor time of the thread
    // when it ends (for benchmarks).
    FrameReader(cv::VideoCapture& cap, Prepare prepare, double* cpuSeconds = nullptr)
        : cap_(cap), prepare_(std::move(prepare)), cpuSeconds_(cpuSeconds), thread_([this] { run(); })
    {
    }
    ~FrameReader()
    {
        {
            std::lock_guard<std::mutex> lock(m_);
            stop_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }

    // The next frame. The item returned by the previous call goes back to
    // the decoder: the consumer must be finished with it (its buffers are
    // written again).
    const Item& next()
    {
        std::unique_lock<std::mutex> lock(m_);
        if (current_.ok && spare_.size() < kDepth + 1)
            spare_.push_back(std::move(current_));
        cv_.wait(lock, [this] { return !queue_.empty(); });
        current_ = std::move(queue_.front());
        queue_.pop_front();
        if (!current_.ok) // keep the end marker for any later call
            queue_.push_front(Item());
        lock.unlock();
        cv_.notify_all();
        return current_;
    }

private:
    void run()
    {
        loop();
        if (cpuSeconds_) {
            timespec ts;
            if (::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts) == 0)
                *cpuSeconds_ = static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
        }
    }

    void loop()
    {
        for (;;) {
            Item it;
            size_t waiting = 0;
            {
                std::lock_guard<std::mutex> lock(m_);
                waiting = queue_.size();
                if (!spare_.empty()) {
                    it = std::move(spare_.back());
                    spare_.pop_back();
                }
            }
            it.prepared = false;
            it.ok = cap_.read(it.pic) && !it.pic.empty();
            if (it.ok) {
                it.posMsec = cap_.get(cv::CAP_PROP_POS_MSEC);
                it.posFrames = cap_.get(cv::CAP_PROP_POS_FRAMES);
                if (prepare_)
                    prepare_(it, waiting);
            }
            const bool last = !it.ok;
            std::unique_lock<std::mutex> lock(m_);
            cv_.wait(lock, [this] { return stop_ || queue_.size() < kDepth; });
            if (stop_)
                return;
            queue_.push_back(std::move(it));
            lock.unlock();
            cv_.notify_all();
            if (last)
                return;
        }
    }

    cv::VideoCapture& cap_;
    Prepare prepare_;
    double* cpuSeconds_;
    std::mutex m_;
    std::condition_variable cv_;
    std::deque<Item> queue_;
    std::vector<Item> spare_;
    Item current_; // the consumer's
    bool stop_ = false;
    std::thread thread_; // last: started once the rest is ready
};

} // namespace vestiga
