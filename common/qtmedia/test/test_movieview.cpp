// Drives the movie view as a user would: open, step, scrub, play, and checks
// the time it reports and the frame it shows.
#include "qtmedia/MovieView.h"

#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QElapsedTimer>
#include <QToolButton>

#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <vector>

using media::MovieTime;
using qtmedia::MovieView;

namespace {

// Frame k has blue 8k, green 255 - 8k, red 100: each frame is recognisable.
QString writeNumberedVideo(const char* name, int frames, cv::Size size)
{
    const std::string path = std::string(TEST_BINARY_DIR) + "/" + name;
    cv::VideoWriter w(path, cv::CAP_FFMPEG, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 25.0, size);
    for (int k = 0; k < frames; ++k)
        w.write(cv::Mat(size, CV_8UC3, cv::Scalar(k * 8, 255 - k * 8, 100)));
    return QString::fromStdString(path);
}

int frameNumberOf(const cv::Mat& bgr)
{
    const cv::Scalar m = cv::mean(bgr);
    return int(std::lround(m[0] / 8.0));
}

} // namespace

class TestMovieView : public QObject {
    Q_OBJECT
private:
    QString video_;

private slots:
    void initTestCase() { video_ = writeNumberedVideo("numbered.avi", 30, cv::Size(64, 48)); }

    void opensAndShowsTheFirstFrame()
    {
        MovieView v;
        QVERIFY(!v.hasVideo());
        QCOMPARE(v.timeText(), QString("00:00:00.00"));
        QVERIFY(v.currentFrame().empty());
        QString err;
        QVERIFY2(v.setVideo(video_, &err), qPrintable(err));
        QCOMPARE(v.frameCount(), 30);
        QCOMPARE(v.currentTime().value, 0);
        QCOMPARE(v.currentTime().scale, 600);
        QCOMPARE(v.currentFrame().size(), cv::Size(64, 48));
        QCOMPARE(frameNumberOf(v.currentFrame()), 0);
    }

    void stepsFrameByFrameOnTheRoundedGrid()
    {
        MovieView v;
        QVERIFY(v.setVideo(video_));
        QSignalSpy spy(&v, &MovieView::timeChanged);
        for (int k = 1; k <= 5; ++k) {
            v.stepForward();
            QCOMPARE(v.currentTime().value, MovieTime::ofFrame(k, 25.0).value); // 24 k
            QCOMPARE(v.currentFrameIndex(), k);
            QCOMPARE(frameNumberOf(v.currentFrame()), k);
        }
        QCOMPARE(spy.count(), 5);
        v.stepBackward();
        QCOMPARE(v.currentFrameIndex(), 4);
        // Stepping at either end stays there and reports nothing.
        v.gotoBeginning();
        spy.clear();
        v.stepBackward();
        QCOMPARE(v.currentTime().value, 0);
        QCOMPARE(spy.count(), 0);
        v.gotoEnd();
        QCOMPARE(v.currentFrameIndex(), 29);
        QCOMPARE(v.currentTime().value, 29 * 24);
        v.stepForward();
        QCOMPARE(v.currentFrameIndex(), 29);
        QCOMPARE(frameNumberOf(v.currentFrame()), 29);
    }

    void keepsAGivenTimeExactlyAndClampsToTheVideo()
    {
        MovieView v;
        QVERIFY(v.setVideo(video_));
        // 62 sixhundredths lie inside frame 2 (48 .. 71): the time stays 62.
        v.setCurrentTime(MovieTime{62, 600, 3});
        QCOMPARE(v.currentTime().value, 62);
        QCOMPARE(v.currentTime().flags, 3u);
        QCOMPARE(v.currentFrameIndex(), 2);
        QCOMPARE(v.timeText(), QString("00:00:00.10"));
        // A step back from inside a frame goes to that frame's start.
        v.stepBackward();
        QCOMPARE(v.currentTime().value, 48);
        v.setCurrentTime(MovieTime{100000, 600, 0});
        QCOMPARE(v.currentTime().value, 29 * 24);
        v.setCurrentTime(MovieTime{-5, 600, 0});
        QCOMPARE(v.currentTime().value, 0);
        // Another time scale is honoured: 1 s at scale 1000 is frame 25.
        v.setCurrentTime(MovieTime{1000, 1000, 0});
        QCOMPARE(v.currentFrameIndex(), 25);
        QCOMPARE(v.timeText(), QString("00:00:01.00"));
    }

    void viewsOnOneFileHaveTheirOwnTimes()
    {
        MovieView a, b;
        QVERIFY(a.setVideo(video_));
        QVERIFY(b.setVideo(video_));
        a.setCurrentTime(MovieTime::ofFrame(10, 25.0));
        QCOMPARE(b.currentTime().value, 0);
        // Sharing one opened file keeps the times and pictures apart too.
        auto shared = std::make_shared<media::VideoFile>();
        QVERIFY(shared->open(video_.toStdString()));
        MovieView c, d;
        c.setVideo(shared);
        d.setVideo(shared);
        c.setCurrentTime(MovieTime::ofFrame(7, 25.0));
        d.setCurrentTime(MovieTime::ofFrame(20, 25.0));
        QCOMPARE(frameNumberOf(c.currentFrame()), 7);
        QCOMPARE(frameNumberOf(d.currentFrame()), 20);
        c.stepForward();
        QCOMPARE(frameNumberOf(c.currentFrame()), 8);
    }

    void aFailedOpenKeepsThePreviousVideo()
    {
        MovieView v;
        QVERIFY(v.setVideo(video_));
        v.setCurrentTime(MovieTime::ofFrame(3, 25.0));
        QSignalSpy changed(&v, &MovieView::videoChanged);
        QString err;
        QVERIFY(!v.setVideo(QString(TEST_BINARY_DIR) + "/missing.avi", &err));
        QVERIFY(err.contains("missing.avi"));
        const QString text = QString(TEST_BINARY_DIR) + "/not-a-video.avi";
        {
            QFile f(text);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("this is not a video\n");
        }
        QVERIFY(!v.setVideo(text, &err));
        QVERIFY(err.contains("not-a-video.avi"));
        QCOMPARE(changed.count(), 0);
        QVERIFY(v.hasVideo());
        QCOMPARE(v.currentFrameIndex(), 3);
        // A second open replaces the first and starts again at 0.
        const QString other = writeNumberedVideo("other.avi", 5, cv::Size(32, 24));
        QVERIFY(v.setVideo(other));
        QCOMPARE(v.frameCount(), 5);
        QCOMPARE(v.currentTime().value, 0);
        QCOMPARE(v.currentFrame().size(), cv::Size(32, 24));
        v.clear();
        QVERIFY(!v.hasVideo());
        v.stepForward(); // no video: nothing happens, nothing crashes
        QCOMPARE(v.currentTime().value, 0);
    }

    void scrubsWithTheSlider()
    {
        MovieView v;
        QVERIFY(v.setVideo(video_));
        auto* slider = v.findChild<QSlider*>();
        QVERIFY(slider);
        QCOMPARE(slider->maximum(), 29);
        slider->setPageStep(10);
        slider->triggerAction(QAbstractSlider::SliderPageStepAdd);
        QCOMPARE(v.currentFrameIndex(), 10);
        QCOMPARE(v.currentTime().value, 240);
        v.stepForward();
        QCOMPARE(slider->value(), 11);
    }

    // Playing follows the clock: a frame is never shown before its time, the
    // frames come in order, and the last one stops the play. Only lower bounds
    // on time are checked, so a busy machine (late ticks) cannot fail it.
    void playsInRealTimeAndStopsAtTheEnd()
    {
        MovieView v;
        QVERIFY(v.setVideo(video_));
        v.show();
        QSignalSpy playing(&v, &MovieView::playingChanged);
        const double fps = v.video()->fps();
        QElapsedTimer clock;
        std::vector<std::pair<int64_t, double>> shown; // frame, seconds since play
        connect(&v, &MovieView::timeChanged, &v,
                [&] { shown.emplace_back(v.currentFrameIndex(), clock.nsecsElapsed() * 1e-9); });
        clock.start(); // before the view's own clock: never behind it
        v.play();
        QVERIFY(v.isPlaying());
        QTRY_VERIFY_WITH_TIMEOUT(!v.isPlaying(), 30000);
        QCOMPARE(v.currentFrameIndex(), 29);
        QCOMPARE(playing.count(), 2);
        QVERIFY(shown.size() >= 2);
        for (size_t i = 0; i < shown.size(); ++i) {
            const auto [frame, seconds] = shown[i];
            // Frame k of the play is due k / fps after its start.
            QVERIFY2(frame <= int64_t(seconds * fps), qPrintable(QString("frame %1 at %2 s").arg(frame).arg(seconds)));
            if (i > 0)
                QVERIFY(frame > shown[i - 1].first);
        }
        QVERIFY(shown.back().second >= 29 / fps);
        // Play from the end starts again at the beginning.
        v.play();
        QVERIFY(v.currentFrameIndex() < 5);
        v.pause();
        QVERIFY(!v.isPlaying());
    }

    void letterboxesThePicture()
    {
        MovieView v;
        QVERIFY(v.setVideo(video_));
        v.setControlsVisible(false);
        v.resize(400, 150);
        v.show();
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        const QImage shot = v.grab().toImage();
        v.grab().save(QString(TEST_BINARY_DIR) + "/movieview.png");
        // 64x48 in 400x150: a 200x150 picture centred, black bands either side.
        const QColor left = shot.pixelColor(20, 75);
        const QColor centre = shot.pixelColor(200, 75);
        QCOMPARE(left, QColor(Qt::black));
        QVERIFY(qAbs(centre.green() - 255) < 8 && qAbs(centre.red() - 100) < 8);
    }
};

QTEST_MAIN(TestMovieView)
#include "test_movieview.moc"
