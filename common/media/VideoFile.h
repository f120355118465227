#pragma once
// Random access to the frames of a video file, over OpenCV's FFmpeg reader.
// Frames are 8-bit, 3-channel, blue-green-red. Reading frames in order costs
// one decode each; any other frame costs a seek (frame-exact for the formats
// the programs use).
#include "MovieTime.h"

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

#include <string>

namespace media {

class VideoFile {
public:
    VideoFile() = default;
    VideoFile(const VideoFile&) = delete;
    VideoFile& operator=(const VideoFile&) = delete;

    // Opens `path`; on failure returns false with a message naming the file in
    // *error and leaves this object closed. A video whose frame count cannot
    // be read is refused.
    bool open(const std::string& path, std::string* error = nullptr);
    void close();
    bool isOpen() const { return cap_.isOpened(); }

    const std::string& path() const { return path_; }
    int64_t frameCount() const { return frameCount_; }
    double fps() const { return fps_; }
    cv::Size frameSize() const { return size_; }
    MovieTime duration(int32_t scale = 600) const { return MovieTime::ofFrame(frameCount_, fps_, scale); }
    MovieTime timeOfFrame(int64_t k, int32_t scale = 600) const { return MovieTime::ofFrame(k, fps_, scale); }
    int64_t frameAt(const MovieTime& t) const;

    // Decodes frame k (from 0) into `out`. False when k is outside the video
    // or the frame cannot be decoded; `out` is then left as it was.
    bool frame(int64_t k, cv::Mat& out);
    // The frame shown at movie time t (the last frame, past the end).
    bool frameAtTime(const MovieTime& t, cv::Mat& out);

private:
    cv::VideoCapture cap_;
    std::string path_;
    int64_t frameCount_ = 0;
    double fps_ = 0;
    cv::Size size_;
    int64_t next_ = 0; // index of the frame the next read() returns
};

} // namespace media
