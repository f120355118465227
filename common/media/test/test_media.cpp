#include "media/MovieTime.h"
#include "media/VideoFile.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <cstdio>

using media::MovieTime;

TEST(MovieTime, FramesSitOnTheRoundedGridAndMapBack)
{
    for (double fps : {25.0, 29.97, 30.0, 24.0, 7.0}) {
        for (int64_t k = 0; k < 2000; ++k) {
            const MovieTime t = MovieTime::ofFrame(k, fps);
            ASSERT_EQ(t.value, std::llround(k * 600.0 / fps));
            ASSERT_EQ(media::frameAtTime(t, fps), k) << "fps " << fps;
            // One unit before a frame's start still shows the previous frame.
            if (k > 0 && MovieTime::ofFrame(k - 1, fps).value < t.value - 1) {
                ASSERT_EQ(media::frameAtTime(MovieTime{t.value - 1, 600, 0}, fps), k - 1);
            }
        }
    }
    EXPECT_EQ(MovieTime::fromSeconds(1.2345).value, 741);
    EXPECT_EQ(media::frameAtTime(MovieTime{-50, 600, 0}, 25.0), 0);
}

TEST(MovieTime, FormatsHoursMinutesSecondsHundredths)
{
    char buf[32];
    EXPECT_STREQ(media::formatTime(MovieTime{(62 * 600) + 300, 600, 0}, buf), "00:01:02.50");
    EXPECT_STREQ(media::formatTime(MovieTime{3600 * 600 + 6, 600, 0}, buf), "01:00:00.01");
    EXPECT_STREQ(media::formatTime(MovieTime{0, 600, 0}, buf), "00:00:00.00");
}

namespace {
std::string writeNumberedVideo(int frames)
{
    const std::string path = std::string(TEST_BINARY_DIR) + "/numbered.avi";
    cv::VideoWriter w(path, cv::CAP_FFMPEG, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 25.0,
                      cv::Size(64, 48));
    for (int k = 0; k < frames; ++k)
        w.write(cv::Mat(48, 64, CV_8UC3, cv::Scalar(k * 8, 255 - k * 8, 100)));
    return path;
}
} // namespace

TEST(VideoFile, RandomAccessMatchesSequentialReading)
{
    const std::string path = writeNumberedVideo(30);
    media::VideoFile v;
    std::string err;
    ASSERT_TRUE(v.open(path, &err)) << err;
    EXPECT_EQ(v.frameCount(), 30);
    EXPECT_DOUBLE_EQ(v.fps(), 25.0);
    EXPECT_EQ(v.frameSize(), cv::Size(64, 48));
    std::vector<cv::Mat> seq(30);
    for (int k = 0; k < 30; ++k)
        ASSERT_TRUE(v.frame(k, seq[k]));
    for (int k : {17, 3, 29, 0, 18, 18, 12}) {
        cv::Mat f;
        ASSERT_TRUE(v.frame(k, f));
        EXPECT_EQ(cv::norm(f, seq[k], cv::NORM_INF), 0) << "frame " << k;
    }
    cv::Mat keep = seq[0].clone(), out = keep.clone();
    EXPECT_FALSE(v.frame(30, out));
    EXPECT_FALSE(v.frame(-1, out));
    EXPECT_EQ(cv::norm(out, keep, cv::NORM_INF), 0);
    EXPECT_EQ(v.frameAt(v.duration()), 29);
}

TEST(VideoFile, RefusesMissingAndNonVideoFilesWithTheirName)
{
    media::VideoFile v;
    std::string err;
    EXPECT_FALSE(v.open("/nonexistent/clip.avi", &err));
    EXPECT_NE(err.find("/nonexistent/clip.avi"), std::string::npos);
    const std::string text = std::string(TEST_BINARY_DIR) + "/not_a_video.avi";
    FILE* f = std::fopen(text.c_str(), "w");
    std::fputs("hello", f);
    std::fclose(f);
    EXPECT_FALSE(v.open(text, &err));
    EXPECT_FALSE(v.isOpen());
    EXPECT_NE(err.find("not_a_video.avi"), std::string::npos);
}

TEST(VideoFile, RefusesAStreamThatStatesNoLength)
{
    // A raw MPEG-2 video stream has no container to state its frame count;
    // it must not be taken for a single-frame video.
    const std::string path = std::string(TEST_BINARY_DIR) + "/raw.m2v";
    {
        cv::VideoWriter w(path, cv::CAP_FFMPEG, cv::VideoWriter::fourcc('m', 'p', 'g', '2'), 25.0,
                          cv::Size(64, 48));
        ASSERT_TRUE(w.isOpened());
        for (int k = 0; k < 50; ++k)
            w.write(cv::Mat(48, 64, CV_8UC3, cv::Scalar(k * 4, 100, 200 - k * 4)));
    }
    media::VideoFile v;
    std::string err;
    EXPECT_FALSE(v.open(path, &err));
    EXPECT_NE(err.find("number of frames cannot be read"), std::string::npos) << err;
}
