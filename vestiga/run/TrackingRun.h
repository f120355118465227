#pragma once
// One tracking run, shared by the desktop application and the command line:
// set-up from a calibrated reference picture, one tick per frame (read, maps,
// filters, expectation, corrections, drawing, annotated video, one line of the
// tracking file), and the stop.
//
// Tracking file: one line per processed frame, "%f %f %f %f %f %f %f \n":
// hand 1 x, hand 1 y, hand 2 x, hand 2 y, head x, head y, time in ms; x is
// measured from the processed picture's vertical centre line and y from its
// top, both in units of the processed picture's height.
#include "engine/CorrectionBN.h"
#include "engine/Suivi2D.h"
#include "robust/RobustRun.h"
#include "run/Calibration.h"

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace vestiga {

struct TrackingOptions {
    enum class Source { File, Camera };
    Source source = Source::File;
    std::string videoFile; // file mode
    int camera = 0;        // camera mode: the camera index
    // Camera mode: a video file read in place of the camera (demonstrations
    // and tests on machines without one); times stay 40 ms per tick.
    std::string cameraStandIn;
    // The calibrated reference picture (8-bit, blue-green-red), Wr x Hr. It
    // takes the place of the source's first frame for the set-up; tracking
    // starts at the source's second frame.
    cv::Mat reference;
    RunCalibration calibration;
    std::string skinFile; // empty: the centre of the head box
    std::string bgFile;   // empty: the synthetic background
    std::string trackingFile;
    std::string annotatedVideo; // required in camera mode, optional in file mode
    // Optional: per-frame confidences, "time,hand1,hand2,head" (seconds, 0..1).
    std::string confidenceFile;
    // Whether the estimates are drawn into the processed picture (picture())
    // at every frame, for a window that shows it. The annotated video has
    // them either way; a run with neither skips the drawing.
    bool markPicture = true;
};

// The time of a frame read from a file, in milliseconds: the reader's
// position after the read, unless it does not lie above the previous line's
// time (the FFmpeg reader reports 0 for the last frames of H.264 files with
// B-frames); then (position in frames - 1) x 1000 / frame rate.
double fileFrameTime(double posMsec, double posFrames, double fps, double previous);

// Time spent in each stage of the ticks since begTrack, in seconds (filled
// only while stage timing is on).
struct StageTimes {
    double decode = 0, maps = 0, head = 0, torso = 0, elbowR = 0, elbowL = 0, hands = 0,
           corrections = 0, drawing = 0, writing = 0;
    int64_t frames = 0;
    // Processor time of the read-ahead thread (decoding, maps and draws of
    // the frames), seconds, once a run with read-ahead has ended.
    double readAheadCpu = 0;
};

class TrackingRun {
public:
    enum class Tick { Frame, EndOfVideo, Failed };

    TrackingRun();
    ~TrackingRun();
    TrackingRun(const TrackingRun&) = delete;
    TrackingRun& operator=(const TrackingRun&) = delete;

    // Validates every input, opens the source and the outputs and sets up the
    // tracker. The tracking file is created last, so a refused run never
    // creates or truncates it. On failure: false, a message naming the input
    // and the problem, nothing written.
    bool begTrack(const TrackingOptions& options, std::string* error);
    // One frame. Frame: a line was written (and flushed). EndOfVideo: no
    // further frame; nothing written. Failed: the run cannot go on (e.g. a
    // frame of another size); the lines written so far are kept.
    Tick onTimer(std::string* error);
    // Closes the annotated video and the tracking file. Safe to call twice.
    void stopTrack();

    bool running() const { return trackFile_ != nullptr; }
    // The processed picture with the six estimates drawn on it (last tick).
    const cv::Mat& picture();
    // The corrected estimate of the last tick.
    const BodyEstimate& estimate() const { return est_; }
    // Frames processed since begTrack, that is lines written (a read that
    // finds no frame is not counted).
    int64_t posFrame() const { return posFrame_; }
    // Frames the run will process in file mode (frame count - 1), -1 in camera mode.
    int64_t totalFrames() const { return totalFrames_; }
    Suivi2D& tracker() { return *bibSuivi_; }
    // The robust method of this run, or null for the classic one.
    const RobustRun* robust() const { return robust_.get(); }
    // Times every stage of each tick (the filters one by one, in the order of
    // processFrame); for benchmarks. The results are the same either way.
    // cpuClock: processor time of the whole process instead of wall-clock time.
    void setStageTiming(bool on, bool cpuClock = false)
    {
        timing_ = on;
        cpuClock_ = cpuClock;
    }
    // File mode decodes the next frames on a second thread while the tracker
    // works (on by default; off while stage timing is on). Frames, times and
    // random draws are the same either way, so the tracking file is too.
    void setReadAhead(bool on) { readAhead_ = on; }
    const StageTimes& stageTimes() const { return times_; }

private:
    struct FrameReader;
    bool fail(std::string* error, const std::string& message);

    std::unique_ptr<Suivi2D> bibSuivi_;
    CorrectionBN corBN_;
    TrackingOptions options_;
    cv::VideoCapture camera_;
    cv::VideoWriter videoWriter_;
    cv::Mat currentPic_;
    cv::Mat skinSample_;
    cv::Mat bgPicture_;
    std::FILE* trackFile_ = nullptr;
    int64_t posFrame_ = 0;
    int64_t totalFrames_ = -1;
    float resH_ = 0; // ch * 400 / cw in single precision: the unit of the file
    double lastTime_ = 0;
    uint64_t fileBytes_ = 0; // length of the complete lines written
    double fps_ = 0;
    BodyEstimate est_;
    cv::Mat frame_; // the decoder's picture, checked before it is copied into currentPic_
    bool timing_ = false;
    bool cpuClock_ = false;
    bool readAhead_ = true;
    std::unique_ptr<FrameReader> reader_; // owns camera_ while it runs
    StageTimes times_;
    std::unique_ptr<RobustRun> robust_; // the robust method, when chosen
    std::FILE* confFile_ = nullptr;
    double conf_[3] = {};
};

} // namespace vestiga
