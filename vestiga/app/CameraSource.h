#pragma once
// The live camera of the camera window: frames for the preview, and the
// recording of a short clip (Motion-JPEG, no sound) to a file. A video file
// can stand in for the camera (it loops at its end), which lets the camera
// window be driven on a machine without a camera.
#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

#include <string>

namespace vestiga {

class CameraSource {
public:
    CameraSource() = default;
    CameraSource(const CameraSource&) = delete;
    CameraSource& operator=(const CameraSource&) = delete;
    ~CameraSource() { close(); }

    // Opens camera `index`. False with a message when no camera answers.
    bool open(int index, std::string* error);
    // Opens a video file in the camera's place.
    bool openStandIn(const std::string& path, std::string* error);
    void close();
    bool isOpen() const { return capture_.isOpened(); }

    // The next frame (8-bit blue-green-red). While recording, the frame is
    // also appended to the clip.
    bool read(cv::Mat& frame);

    // Starts a clip at `path`: Motion-JPEG at `fps` frames per second, the
    // size of the frames read. Frames are appended by read().
    bool startRecording(const std::string& path, double fps, std::string* error);
    // Finishes the clip. Returns the number of frames it holds.
    int stopRecording();
    bool recording() const { return recording_; }
    // Frames appended to the clip being recorded (or the last one).
    int recordedFrames() const { return recorded_; }

private:
    cv::VideoCapture capture_;
    cv::VideoWriter writer_;
    std::string clipPath_;
    double clipFps_ = 25.0;
    bool standIn_ = false;
    bool recording_ = false;
    int recorded_ = 0;
};

} // namespace vestiga
