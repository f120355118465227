#include "CameraSource.h"

namespace vestiga {

bool CameraSource::open(int index, std::string* error)
{
    close();
    // Webcams are V4L2 devices here; naming the back end spares the probing of
    // the others (FireWire, GStreamer), which is slow and leaks in their libraries.
    if (!capture_.open(index, cv::CAP_V4L2) || !capture_.isOpened()) {
        capture_.release();
        if (error)
            *error = "no camera answers at index " + std::to_string(index);
        return false;
    }
    standIn_ = false;
    return true;
}

bool CameraSource::openStandIn(const std::string& path, std::string* error)
{
    close();
    if (!capture_.open(path, cv::CAP_FFMPEG) || !capture_.isOpened()) {
        capture_.release();
        if (error)
            *error = "cannot open the video \"" + path + "\"";
        return false;
    }
    standIn_ = true;
    return true;
}

void CameraSource::close()
{
    stopRecording();
    capture_.release();
    standIn_ = false;
}

bool CameraSource::read(cv::Mat& frame)
{
    if (!capture_.isOpened())
        return false;
    bool ok = capture_.read(frame);
    if (!ok && standIn_) {
        // A stand-in video starts again at its first frame, as a camera
        // never ends.
        capture_.set(cv::CAP_PROP_POS_FRAMES, 0);
        ok = capture_.read(frame);
    }
    if (!ok || frame.empty())
        return false;
    if (recording_) {
        if (!writer_.isOpened()) {
            // The writer is opened on the first frame, whose size it takes.
            writer_.open(clipPath_, cv::CAP_FFMPEG, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'),
                         clipFps_, frame.size(), true);
        }
        if (writer_.isOpened()) {
            writer_.write(frame);
            ++recorded_;
        }
    }
    return true;
}

bool CameraSource::startRecording(const std::string& path, double fps, std::string* error)
{
    stopRecording();
    if (!capture_.isOpened()) {
        if (error)
            *error = "the camera is not open";
        return false;
    }
    clipPath_ = path;
    clipFps_ = fps;
    recorded_ = 0;
    recording_ = true;
    return true;
}

int CameraSource::stopRecording()
{
    if (!recording_)
        return 0;
    recording_ = false;
    writer_.release();
    return recorded_;
}

} // namespace vestiga
