#pragma once
// The read-ahead decoder of a file-mode tracking run (private to TrackingRun).
#include "run/TrackingRun.h"

#include <opencv2/videoio.hpp>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace vestiga {

// Decodes a file's frames ahead of the tracker, in order, on its own thread,
// with the reader's position noted right after each read. At most kDepth
// frames wait; the thread ends at the first frame that cannot be read.
struct TrackingRun::FrameReader {
    struct Item {
        cv::Mat pic;
        double posMsec = 0, posFrames = 0;
        bool ok = false;
    };
    static constexpr size_t kDepth = 4;

    explicit FrameReader(cv::VideoCapture& cap) : cap_(cap), thread_([this] { loop(); }) {}
    ~FrameReader()
    {
        {
            std::lock_guard<std::mutex> lock(m_);
            stop_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }

    // A picture the consumer is finished with: its buffer is decoded into
    // again instead of a fresh one.
    void recycle(cv::Mat pic)
    {
        if (pic.empty())
            return;
        std::lock_guard<std::mutex> lock(m_);
        if (spare_.size() < kDepth + 1)
            spare_.push_back(std::move(pic));
    }

    Item next()
    {
        std::unique_lock<std::mutex> lock(m_);
        cv_.wait(lock, [this] { return !queue_.empty(); });
        Item it = std::move(queue_.front());
        queue_.pop_front();
        if (!it.ok) // keep the end marker for any later call
            queue_.push_front(Item());
        lock.unlock();
        cv_.notify_all();
        return it;
    }

private:
    void loop()
    {
        for (;;) {
            Item it;
            {
                std::lock_guard<std::mutex> lock(m_);
                if (!spare_.empty()) {
                    it.pic = std::move(spare_.back());
                    spare_.pop_back();
                }
            }
            it.ok = cap_.read(it.pic) && !it.pic.empty();
            if (it.ok) {
                it.posMsec = cap_.get(cv::CAP_PROP_POS_MSEC);
                it.posFrames = cap_.get(cv::CAP_PROP_POS_FRAMES);
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
    std::mutex m_;
    std::condition_variable cv_;
    std::deque<Item> queue_;
    std::vector<cv::Mat> spare_;
    bool stop_ = false;
    std::thread thread_; // last: started once the rest is ready
};

} // namespace vestiga
