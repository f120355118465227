#include "run/TrackingRun.h"
#include "run/FrameReader.h"

#include "base/Path.h"
#include "cli/Files.h"
#include "engine/WorkerPool.h"

#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace vestiga {

namespace {

using Clock = std::chrono::steady_clock;

// The classic method's filters in the order processFrame runs them.
constexpr Suivi2D::Part kRunOrder[Suivi2D::kParts] = {Suivi2D::Part::Head, Suivi2D::Part::Torso,
                                                      Suivi2D::Part::ElbowR, Suivi2D::Part::ElbowL,
                                                      Suivi2D::Part::Hands};
// The only filter of the robust method.
constexpr Suivi2D::Part kTorsoOnly[1] = {Suivi2D::Part::Torso};

// The filters a method runs each frame, in their order.
struct FilterList {
    const Suivi2D::Part* parts;
    int count;
};
FilterList runFilters(bool robust)
{
    return robust ? FilterList{kTorsoOnly, 1} : FilterList{kRunOrder, Suivi2D::kParts};
}

std::string sizeText(cv::Size s) { return std::to_string(s.width) + "x" + std::to_string(s.height); }

// Why `path` cannot receive a new output file, or an empty string. Nothing is
// created: an existing file must be a writable regular file, a new one needs a
// writable directory.
std::string outputProblem(const std::string& path)
{
    if (path.empty())
        return "no file name given";
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return "is a directory";
        if (::access(path.c_str(), W_OK) != 0)
            return std::string("cannot be written (") + std::strerror(errno) + ")";
        return std::string();
    }
    if (errno != ENOENT)
        return std::string("cannot be written (") + std::strerror(errno) + ")";
    const std::string dir = base::folderOf(path);
    if (!base::isFolder(dir))
        return "its directory " + dir + " does not exist";
    if (::access(dir.c_str(), W_OK | X_OK) != 0)
        return "its directory " + dir + " is not writable";
    return std::string();
}

// Pixel position of an estimate, truncated toward zero; false for a value that
// is not a number or lies absurdly far outside the picture (not drawn).
bool pixel(double v, int* out)
{
    if (!(std::fabs(v) < 1e6))
        return false;
    *out = static_cast<int>(v);
    return true;
}

// "%f " in the C locale whatever locale the process runs in (a desktop
// application may run with a decimal comma).
char* appendFixed(char* p, char* end, double v)
{
    const auto r = std::to_chars(p, end, v, std::chars_format::fixed, 6);
    p = r.ptr;
    *p++ = ' ';
    return p;
}

} // namespace

double fileFrameTime(double posMsec, double posFrames, double fps, double previous)
{
    if (posMsec > previous)
        return posMsec;
    return (posFrames - 1) * 1000.0 / fps;
}

TrackingRun::TrackingRun() : bibSuivi_(std::make_unique<Suivi2D>()) {}

TrackingRun::~TrackingRun() { stopTrack(); }

bool TrackingRun::fail(std::string* error, const std::string& message)
{
    reader_.reset();
    if (error)
        *error = message;
    if (videoWriter_.isOpened())
        videoWriter_.release();
    camera_.release();
    return false;
}

bool TrackingRun::begTrack(const TrackingOptions& options, std::string* error)
{
    if (running()) { // the current run goes on untouched
        if (error)
            *error = "a tracking run is already in progress";
        return false;
    }
    // A fresh tracker and corrector for every run, as at a program start.
    bibSuivi_ = std::make_unique<Suivi2D>();
    corBN_ = CorrectionBN();
    options_ = options;
    posFrame_ = 0;
    totalFrames_ = -1;
    lastTime_ = 0;
    times_ = StageTimes();
    const bool camera = options_.source == TrackingOptions::Source::Camera;
    const RunCalibration& cal = options_.calibration;

    // Inputs first; nothing is opened for writing until all of them hold.
    const cv::Mat& ref = options_.reference;
    if (ref.empty() || ref.type() != CV_8UC3)
        return fail(error, "reference picture: missing or not an 8-bit colour picture");
    const int Wr = ref.cols, Hr = ref.rows;
    std::string why = checkRunCalibration(cal, Wr, Hr);
    if (!why.empty())
        return fail(error, "calibration: " + why);

    const float cx = cal.cx, cy = cal.cy, cw = cal.cw, ch = cal.ch;
    const float hx = cal.hx, hy = cal.hy, hw = cal.hw, hh = cal.hh;
    resH_ = ch * 400.0f / cw;

    const float dS = cal.dShould;
    const int faSize = static_cast<int>(dS * 400.0f / static_cast<float>(Wr));
    if (faSize <= 0)
        return fail(error, "calibration: the shoulder distance " + std::to_string(dS)
                               + " gives a forearm length of 0 pixels; mark the shoulders farther apart");

    // The optional pictures: a file that cannot be read is named before the
    // decoder is even tried.
    auto loadPicture = [&](const std::string& path, const char* what, cv::Mat* out) {
        if (::access(path.c_str(), R_OK) != 0)
            return fail(error, std::string(what) + " " + path + ": cannot be read (" + std::strerror(errno) + ")");
        *out = cv::imread(path, cv::IMREAD_COLOR);
        if (out->empty())
            return fail(error, std::string(what) + " " + path + ": empty or not a picture that can be decoded");
        return true;
    };
    if (!options_.skinFile.empty() && !loadPicture(options_.skinFile, "skin picture", &skinSample_))
        return false;
    if (!options_.bgFile.empty() && !loadPicture(options_.bgFile, "background picture", &bgPicture_))
        return false;

    if (camera && options_.annotatedVideo.empty())
        return fail(error, "annotated video: camera mode records the annotated pictures; no file name given");
    why = outputProblem(options_.trackingFile);
    if (!why.empty())
        return fail(error, "tracking file " + options_.trackingFile + ": " + why);
    if (!options_.annotatedVideo.empty()) {
        why = outputProblem(options_.annotatedVideo);
        if (!why.empty())
            return fail(error, "annotated video " + options_.annotatedVideo + ": " + why);
        if (cli::sameFile(options_.annotatedVideo, options_.trackingFile))
            return fail(error, "annotated video " + options_.annotatedVideo + ": same file as the tracking file");
    }
    if (!options_.confidenceFile.empty()) {
        why = outputProblem(options_.confidenceFile);
        if (!why.empty())
            return fail(error, "confidence file " + options_.confidenceFile + ": " + why);
        for (const std::string* other : {&options_.trackingFile, &options_.annotatedVideo})
            if (cli::sameFile(options_.confidenceFile, *other))
                return fail(error, "confidence file " + options_.confidenceFile + ": same file as " + *other);
    }
    for (const std::string* input : {&options_.videoFile, &options_.skinFile, &options_.bgFile}) {
        if (camera && input == &options_.videoFile)
            continue;
        for (const std::string* output : {&options_.trackingFile, &options_.annotatedVideo, &options_.confidenceFile})
            if (cli::sameFile(*input, *output))
                return fail(error, "output file " + *output + " is the input file " + *input
                                       + "; it would be overwritten");
    }

    // The frame source.
    if (camera && !options_.cameraStandIn.empty()) {
        if (!camera_.open(options_.cameraStandIn, cv::CAP_FFMPEG))
            return fail(error, "camera stand-in " + options_.cameraStandIn + ": not a video that can be decoded");
    } else if (camera) {
        // The same V4L2 back end as the application's live preview.
        if (!camera_.open(options_.camera, cv::CAP_V4L2))
            return fail(error, "camera " + std::to_string(options_.camera) + ": cannot be opened");
    } else {
        if (options_.videoFile.empty())
            return fail(error, "video file: no file name given");
        if (::access(options_.videoFile.c_str(), R_OK) != 0)
            return fail(error, "video file " + options_.videoFile + ": cannot be read ("
                                   + std::strerror(errno) + ")");
        if (!camera_.open(options_.videoFile, cv::CAP_FFMPEG))
            return fail(error, "video file " + options_.videoFile + ": not a video that can be decoded");
        fps_ = camera_.get(cv::CAP_PROP_FPS);
        if (!(fps_ > 0 && fps_ < 1000))
            return fail(error, "video file " + options_.videoFile + ": the video has no usable frame rate");
        const double count = camera_.get(cv::CAP_PROP_FRAME_COUNT);
        totalFrames_ = count >= 1 ? static_cast<int64_t>(count) - 1 : 0;
    }
    const std::string source = camera ? "camera " + std::to_string(options_.camera)
                                      : "video file " + options_.videoFile;

    // The first frame fixes the frame size; the reference picture takes its place.
    if (!camera_.read(frame_) || frame_.empty())
        return fail(error, source + ": the video holds no frame");
    if (frame_.type() != CV_8UC3)
        return fail(error, source + ": frames are not 8-bit colour pictures");
    if (frame_.size() != ref.size())
        return fail(error, source + ": frames are " + sizeText(frame_.size()) + " but the reference picture is "
                               + sizeText(ref.size()));
    currentPic_.create(frame_.size(), CV_8UC3);
    ref.copyTo(currentPic_);

    // The skin sample: the central half of the head box in both directions,
    // turned to a top-left origin.
    if (options_.skinFile.empty()) {
        const cv::Rect r(static_cast<int>(0.25 * hw + hx), static_cast<int>(Hr - (hh * 3 * 0.25 + hy)),
                         static_cast<int>(0.5 * hw), static_cast<int>(0.5 * hh));
        if (r.width <= 0 || r.height <= 0)
            return fail(error, "calibration: the head box " + std::to_string(hw) + " x " + std::to_string(hh)
                                   + " is too small to take a skin sample from (2 pixels at least each way)");
        if ((r & cv::Rect(0, 0, Wr, Hr)) != r)
            return fail(error, "calibration: the skin sample of the head box lies outside the reference picture");
        skinSample_ = currentPic_(r).clone();
    }

    Suivi2D& t = *bibSuivi_;
    // The tracker's settings are the defaults of TrackerOptions; the image
    // area and the body come from the calibration. The area's fractions are
    // single precision, the vertical ones turning the bottom-left origin into
    // a top-left one. Body sizes are fractions of the area's height: the hand
    // 0.4 and the body scale 3.5 shoulder distances.
    TrackerOptions& to = t.opt;
    const float fW = static_cast<float>(Wr), fH = static_cast<float>(Hr);
    to.minX = cx / fW;
    to.minY = 1.0f - (cy + ch) / fH;
    to.maxX = (cx + cw) / fW;
    to.maxY = 1.0f - cy / fH;
    to.handWidth = static_cast<float>(static_cast<double>(dS) * 0.4 / static_cast<double>(ch));
    to.headWidth = hw / ch;
    to.headHeight = hh / ch;
    to.sleeves = cal.sleevesToWrist ? 1.0f : 0.33f;
    to.bodyScale = static_cast<float>(static_cast<double>(dS) * 3.5 / static_cast<double>(ch));
    why = t.checkROI(currentPic_.size());
    if (!why.empty())
        return fail(error, "calibration: " + why);
    if (!t.setCurPicture(currentPic_))
        return fail(error, "calibration: the image area cannot be cut out of the first frame");
    // The skin and background pictures the colour tables are learnt from.
    t.setSkinPic(skinSample_);
    if (options_.bgFile.empty()) {
        if (!t.createAutoBgPic())
            return fail(error, "the background picture cannot be made from the first frame");
    } else {
        t.setBackgroundPic(bgPicture_);
    }
    why = t.checkBodySizes();
    if (!why.empty())
        return fail(error, "calibration: " + why + " (shoulder distance or head box too small for the image area)");

    // The colour tables, the filters and the corrections.
    if (!t.computeLikelihoodHisto())
        return fail(error, "skin or background picture: not an 8-bit colour picture");
    t.buildPartFilter();
    if (!t.initFilter())
        return fail(error, "the body-part filters cannot be set up");
    corBN_.initialize(0.95f, faSize);
    robust_.reset();
    if (cal.tracker == TrackerMethod::Robust) {
        robust_ = std::make_unique<RobustRun>();
        if (!robust_->initialize(t, cal, Wr, &why))
            return fail(error, "robust tracker: " + why);
    }

    // The outputs, the tracking file last. The annotated video has the size of
    // the processed picture itself, which may be one row shorter than
    // 400 x trunc(resH_) when the tracker's single-precision rounding differs.
    // OpenCV's own Motion-JPEG writer keeps an odd height; the FFmpeg one
    // would drop the last row.
    if (!options_.annotatedVideo.empty()) {
        videoWriter_.open(options_.annotatedVideo, cv::CAP_OPENCV_MJPEG, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'),
                          25.0, t.getCurResPic().size(), true);
        if (!videoWriter_.isOpened())
            return fail(error, "annotated video " + options_.annotatedVideo
                                   + ": cannot be created as a Motion-JPEG video");
    }
    // The confidence file just before the tracking file, which comes last.
    if (!options_.confidenceFile.empty()) {
        confFile_ = std::fopen(options_.confidenceFile.c_str(), "w");
        if (!confFile_ || std::fputs("time,hand1,hand2,head\n", confFile_) < 0 || std::fflush(confFile_) != 0) {
            const int err = errno;
            if (confFile_)
                std::fclose(confFile_);
            confFile_ = nullptr;
            return fail(error, "confidence file " + options_.confidenceFile + ": cannot be created ("
                                   + std::strerror(err) + ")");
        }
    }
    trackFile_ = std::fopen(options_.trackingFile.c_str(), "w");
    if (!trackFile_ && confFile_) {
        std::fclose(confFile_);
        confFile_ = nullptr;
    }
    if (!trackFile_)
        return fail(error, "tracking file " + options_.trackingFile + ": cannot be created ("
                               + std::strerror(errno) + ")");
    // Unbuffered: each line goes to the file in one write and nothing is left
    // pending in a buffer after a failed write.
    std::setvbuf(trackFile_, nullptr, _IONBF, 0);

    posFrame_ = 0;
    fileBytes_ = 0;
    if (!camera && readAhead_ && !timing_) {
        // The decoding thread also takes each frame's random draws for the
        // drifts the method runs (the classic method's five filters, the
        // robust method's torso filter): the generator is the decoding
        // thread's from here on (the filters draw nothing themselves), and
        // frames are read in order, so the draws come in the order the
        // filters would take them. (The maps stay on this thread: made on
        // the other core, the integral images would reach the filters through
        // the caches at a higher cost than making them here.)
        //
        // Turning the draws into normal variates costs about as much as the
        // rest of the filters' work. The decoding thread makes the variates
        // of the first filters too, the more of them the more frames already
        // wait for the filters: a thread that runs ahead takes work off the
        // filters, one that falls behind leaves it to them. The variates are
        // the same whichever thread makes them.
        //
        // The robust method runs the torso filter alone and leaves the
        // decoding thread idle for longer: it makes all the variates.
        const FilterList filters = runFilters(robust_ != nullptr);
        std::array<std::size_t, Suivi2D::kParts + 1> ends{}; // end of each filter's draws
        for (int k = 0; k < filters.count; ++k)
            ends[k + 1] = ends[k] + t.filter(filters.parts[k])->drawCount();
        const bool all = robust_ != nullptr;
        FrameReader::Prepare prepare = [&t, filters, ends, all](FrameReader::Item& it, std::size_t waiting) {
            t.takeDraws(filters.parts, filters.count, it.draws);
            const std::size_t count = static_cast<std::size_t>(filters.count);
            const std::size_t ahead = all ? count : std::min(count, 2 * waiting);
            const std::size_t n = ends[ahead] / 2;
            it.variates.resize(n);
            for (std::size_t k = 0; k < n; ++k)
                it.variates[k] = boxMullerFromDraws(it.draws[2 * k], it.draws[2 * k + 1]);
            it.prepared = true;
        };
        reader_ = std::make_unique<FrameReader>(camera_, prepare, &times_.readAheadCpu);
        // The decoding thread keeps a core busy. On two cores a second filter
        // thread could only take turns with it, and the waits and wake-ups
        // cost more than the particles it weighs (measured: about 7 % more
        // frames a second with one), so the filters stay on this thread
        // unless a third core is free. The bytes do not depend on it.
        if (std::thread::hardware_concurrency() < 3)
            setTrackerThreads(t, 1);
    }
    return true;
}

TrackingRun::Tick TrackingRun::onTimer(std::string* error)
{
    auto failed = [&](const std::string& message) {
        if (error)
            *error = message;
        stopTrack();
        return Tick::Failed;
    };
    if (!running())
        return failed("no tracking run in progress");
    const bool camera = options_.source == TrackingOptions::Source::Camera;
    Suivi2D& t = *bibSuivi_;

    // Wall-clock time, or the processor time of the whole process (all its
    // threads: the filters' workers too), which a busy machine disturbs less.
    const bool cpu = cpuClock_;
    auto now = [cpu] {
        if (cpu) {
            timespec ts;
            ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
            return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
        }
        return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
    };
    double t0 = timing_ ? now() : 0;
    auto lap = [&](double& acc) {
        if (timing_) {
            const double t1 = now();
            acc += t1 - t0;
            t0 = t1;
        }
    };

    // The next frame and its time; the frame is checked before it replaces the tracker's.
    ++posFrame_;
    bool read = false;
    double posMsec = 0, posFrames = 0;
    const FrameReader::Item* item = nullptr;
    if (reader_) {
        // The tracker is finished with the previous frame: its buffers go
        // back to the decoder.
        item = &reader_->next();
        read = item->ok;
        frame_ = item->pic;
        posMsec = item->posMsec;
        posFrames = item->posFrames;
    } else {
        read = camera_.read(frame_) && !frame_.empty();
        if (read && !camera) {
            posMsec = camera_.get(cv::CAP_PROP_POS_MSEC);
            posFrames = camera_.get(cv::CAP_PROP_POS_FRAMES);
        }
    }
    if (!read) {
        --posFrame_;
        if (camera)
            return failed("camera " + std::to_string(options_.camera) + ": no further frame");
        stopTrack();
        return Tick::EndOfVideo;
    }
    if (frame_.size() != currentPic_.size() || frame_.type() != currentPic_.type()) {
        const std::string msg = "frame " + std::to_string(posFrame_) + " is " + sizeText(frame_.size())
                                + " but the run started on " + sizeText(currentPic_.size()) + " frames";
        --posFrame_;
        return failed(msg);
    }
    // The tracker reads the decoded frame itself (same size and type as the
    // first one); it is not copied.
    t.curPic = frame_;
    double time = 0;
    if (camera)
        time = static_cast<double>(posFrame_) * 40.0;
    else
        time = fileFrameTime(posMsec, posFrames, fps_, lastTime_);
    lap(times_.decode);

    // The maps of this frame, then the filters (one by one when timed).
    if (!t.computeSkBgMaps())
        return failed("the image area no longer fits in frame " + std::to_string(posFrame_));
    if (item && item->prepared) {
        const FilterList filters = runFilters(robust_ != nullptr);
        t.useDraws(filters.parts, filters.count, item->draws, &item->variates);
    }
    lap(times_.maps);
    if (robust_) {
        if (!robust_->track(t, est_, conf_))
            return failed("the torso filter is not set up");
        lap(times_.hands);
    } else if (timing_) {
        double* const lapOf[Suivi2D::kParts] = {&times_.head, &times_.torso, &times_.elbowR, &times_.elbowL,
                                                &times_.hands};
        for (int k = 0; k < Suivi2D::kParts; ++k) {
            (void)t.track(static_cast<Suivi2D::Part>(k)); // ready since begTrack
            lap(*lapOf[k]);
        }
    } else {
        (void)t.processFrame(&est_); // ready since begTrack
    }
    if (!robust_) {
        if (timing_)
            est_ = t.estimate();
        if (confFile_)
            filterConfidence(t, conf_);
    }

    // The hands' labels (only when the sleeves leave nothing but the hands
    // bare; the robust hands keep their own) and the elbows.
    if (options_.calibration.sleevesToWrist && !robust_)
        corBN_.correctHand(est_);
    corBN_.correctElbow(est_);
    lap(times_.corrections);

    // The six estimates drawn into the processed picture, in the order and
    // colours below (blue, green, red channel values).
    cv::Mat& pic = t.getCurResPic();
    struct Mark {
        const BodyPoint& at;
        const IntFil* fil;
        bool mirrored;
        int c0, c1, c2;
    };
    const Mark marks[6] = {
        {est_.torso, t.intTorsoFil.get(), false, 0, 255, 255},    // yellow
        {est_.head, t.intHeadFil.get(), false, 0, 0, 255},        // red
        {est_.elbowR, t.intElbowRFil2.get(), false, 0, 255, 0},   // green
        {est_.elbowL, t.intElbowRFil2.get(), true, 0, 255, 0},    // green, mirrored
        {est_.hand1, t.intHandFil.get(), false, 255, 255, 0},     // cyan
        {est_.hand2, t.intHandFil.get(), false, 0, 0, 255},       // red
    };
    // Not drawn when nothing shows the picture (the next frame's maps overwrite it).
    const bool marked = options_.markPicture || videoWriter_.isOpened();
    if (marked) {
        for (const Mark& m : marks) {
            int x = 0, y = 0;
            if (!m.fil || !pixel(m.at.x, &x) || !pixel(m.at.y, &y))
                continue;
            if (m.mirrored)
                m.fil->drawR(pic, x, y, m.c0, m.c1, m.c2);
            else
                m.fil->draw(pic, x, y, m.c0, m.c1, m.c2);
        }
    }
    lap(times_.drawing);

    // The annotated picture, then the line of the tracking file: hands and
    // head with x from the processed picture's vertical centre line, in
    // units of its height.
    if (videoWriter_.isOpened())
        videoWriter_.write(pic);
    const double R = resH_;
    const double centre = t.resW / 2;
    char line[256];
    char* p = line;
    char* end = line + sizeof line;
    p = appendFixed(p, end, (est_.hand1.x - centre) / R);
    p = appendFixed(p, end, est_.hand1.y / R);
    p = appendFixed(p, end, (est_.hand2.x - centre) / R);
    p = appendFixed(p, end, est_.hand2.y / R);
    p = appendFixed(p, end, (est_.head.x - centre) / R);
    p = appendFixed(p, end, est_.head.y / R);
    p = appendFixed(p, end, time);
    *p++ = '\n';
    // Flushed at once: an interrupted run keeps every line written so far.
    const size_t len = static_cast<size_t>(p - line);
    if (std::fwrite(line, 1, len, trackFile_) != len || std::fflush(trackFile_) != 0) {
        const int err = errno;
        // A line written in part (full disk, size limit) is cut off again, so
        // the file ends with the last complete line.
        if (::ftruncate(::fileno(trackFile_), static_cast<off_t>(fileBytes_)) != 0) {
            // Nothing more can be done; the message below still says why.
        }
        --posFrame_; // this frame's line is not in the file
        return failed("tracking file " + options_.trackingFile + ": cannot be written (" + std::strerror(err)
                      + ")");
    }
    fileBytes_ += len;
    lastTime_ = time;
    if (confFile_) {
        char* q = line;
        const auto put = [&](double v, int digits, char sep) {
            q = std::to_chars(q, end, v, std::chars_format::fixed, digits).ptr;
            *q++ = sep;
        };
        put(time / 1000.0, 3, ',');
        put(conf_[0], 4, ',');
        put(conf_[1], 4, ',');
        put(conf_[2], 4, '\n');
        const size_t n = static_cast<size_t>(q - line);
        if (std::fwrite(line, 1, n, confFile_) != n || std::fflush(confFile_) != 0)
            return failed("confidence file " + options_.confidenceFile + ": cannot be written ("
                          + std::strerror(errno) + ")");
    }
    lap(times_.writing);
    if (timing_)
        ++times_.frames;
    return Tick::Frame;
}

void TrackingRun::stopTrack()
{
    reader_.reset(); // joins the decoding thread before the source closes
    if (videoWriter_.isOpened())
        videoWriter_.release();
    camera_.release();
    if (trackFile_) {
        std::fclose(trackFile_);
        trackFile_ = nullptr;
    }
    if (confFile_) {
        std::fclose(confFile_);
        confFile_ = nullptr;
    }
}

const cv::Mat& TrackingRun::picture() { return bibSuivi_->getCurResPic(); }

} // namespace vestiga
