#pragma once
// A small signer for tests: an MJPG video of two coloured hands moving over a
// grey background, with the tracking file that follows them exactly. Hand 1
// turns on a circle, hand 2 moves from left to right and back; the head sits
// still. Frame k is tracking line k + 1 with the time k * 1000 / fps ms.
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

namespace synthetic {

struct Sign {
    int width = 320, height = 240, frames = 50;
    double fps = 25.0;

    // Tracking positions (units of the picture height, x from the vertical
    // centre line, y downwards from the top).
    void hand1(int k, double& x, double& y) const
    {
        const double a = 2.0 * 3.14159265358979 * k / 40.0;
        x = -0.35 + 0.15 * std::cos(a);
        y = 0.55 + 0.15 * std::sin(a);
    }
    void hand2(int k, double& x, double& y) const
    {
        const double u = 0.5 - 0.5 * std::cos(2.0 * 3.14159265358979 * k / frames);
        x = 0.1 + 0.4 * u;
        y = 0.45 + 0.1 * u;
    }
    cv::Point pixel(double x, double y) const
    {
        return cv::Point(int(std::lround(width / 2.0 + x * height)), int(std::lround(y * height)));
    }

    bool writeVideo(const std::string& path) const
    {
        cv::VideoWriter out(path, cv::CAP_FFMPEG, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), fps,
                            cv::Size(width, height));
        if (!out.isOpened())
            return false;
        for (int k = 0; k < frames; ++k) {
            cv::Mat f(height, width, CV_8UC3, cv::Scalar(90, 100, 110));
            cv::rectangle(f, cv::Rect(width / 2 - 20, 10, 40, 50), cv::Scalar(120, 160, 210), cv::FILLED);
            double x, y;
            hand1(k, x, y);
            cv::circle(f, pixel(x, y), 12, cv::Scalar(40, 200, 40), cv::FILLED);
            hand2(k, x, y);
            cv::circle(f, pixel(x, y), 12, cv::Scalar(200, 60, 40), cv::FILLED);
            out.write(f);
        }
        return true;
    }

    // The tracking file, "%f %f %f %f %f %f %f \n" per frame; `lines` limits
    // it (default: one line per frame).
    bool writeTracking(const std::string& path, int lines = -1) const
    {
        std::FILE* f = std::fopen(path.c_str(), "w");
        if (!f)
            return false;
        const int n = lines < 0 ? frames : lines;
        for (int k = 0; k < n; ++k) {
            double x1, y1, x2, y2;
            hand1(k, x1, y1);
            hand2(k, x2, y2);
            std::fprintf(f, "%f %f %f %f %f %f %f \n", x1, y1, x2, y2, 0.0, 0.15, k * 1000.0 / fps);
        }
        return std::fclose(f) == 0;
    }

    // NAME.avi and NAME.track in `dir`, unless they are there already. Each
    // is written under a temporary name and renamed, so test processes run
    // side by side never read a half-written file.
    bool writeFiles(const std::filesystem::path& dir, const std::string& name) const
    {
        namespace fs = std::filesystem;
        std::error_code ec;
        fs::create_directories(dir, ec);
        const fs::path video = dir / (name + ".avi"), track = dir / (name + ".track");
        const std::string tag = ".tmp" + std::to_string(::getpid());
        if (!fs::exists(video)) {
            // The writer picks its container from the extension: keep ".avi" last.
            const fs::path tmp = dir / (name + tag + ".avi");
            if (!writeVideo(tmp.string()))
                return false;
            fs::rename(tmp, video, ec);
        }
        if (!fs::exists(track)) {
            const fs::path tmp = dir / (name + tag + ".track");
            if (!writeTracking(tmp.string()))
                return false;
            fs::rename(tmp, track, ec);
        }
        return fs::exists(video) && fs::exists(track);
    }
};

} // namespace synthetic
