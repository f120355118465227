// Drives the real sign-picture window under a display: loads, key frames,
// mixing, the arrow controls, saving, and the configuration window. Each test
// saves screenshots of what it shows into TEST_BINARY_DIR/screens.
#include "NSConfWin.h"
#include "OGLWin.h"
#include "ArrowsPane.h"
#include "EafBatch.h"
#include "GlossList.h"
#include "GlossPane.h"
#include "MixingPane.h"
#include "MoviePane.h"
#include "Principal.h"
#include "SelectionPane.h"

#include "core/Blend.h"
#include "qtmedia/MovieView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QMessageBox>
#include <QProcess>
#include <QSignalSpy>
#include <QSlider>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <cmath>
#include <cstdio>

using media::MovieTime;

namespace {

const QString kBinary = QString(TEST_BINARY_DIR);

QString screenPath(const QString& name)
{
    QDir().mkpath(kBinary + "/screens");
    return kBinary + "/screens/" + name + ".png";
}

// A synthetic signer: a head and two hands (discs) moving over a gradient,
// with the tracking file that describes them (units of the picture height,
// x from the vertical centre line, y downwards; one line per frame at 40 ms).
struct Synthetic {
    QString video, tracking;
};

Synthetic writeSynthetic(const QString& dir, const QString& name, cv::Size size, int frames)
{
    Synthetic s{dir + "/" + name + ".avi", dir + "/" + name + ".track"};
    cv::VideoWriter w(s.video.toStdString(), cv::CAP_FFMPEG, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 25.0,
                      size);
    std::FILE* f = std::fopen(s.tracking.toLocal8Bit().constData(), "w");
    const double h = size.height;
    for (int k = 0; k < frames; ++k) {
        const double a = k * 0.12;
        const double h1x = -0.25 + 0.12 * std::cos(a), h1y = 0.65 - 0.12 * std::sin(a);
        const double h2x = 0.25 + 0.05 * k / frames, h2y = 0.7 - 0.2 * k / frames;
        const double hx = 0.0, hy = 0.25;
        cv::Mat img(size, CV_8UC3);
        for (int y = 0; y < size.height; ++y)
            img.row(y).setTo(cv::Scalar(60 + y * 80 / size.height, 70, 90));
        auto px = [&](double x, double y) { return cv::Point(int(size.width / 2 + x * h), int(y * h)); };
        cv::circle(img, px(hx, hy), int(0.12 * h), cv::Scalar(120, 160, 220), cv::FILLED);
        cv::circle(img, px(h1x, h1y), int(0.06 * h), cv::Scalar(90, 140, 230), cv::FILLED);
        cv::circle(img, px(h2x, h2y), int(0.06 * h), cv::Scalar(100, 150, 210), cv::FILLED);
        w.write(img);
        std::fprintf(f, "%f %f %f %f %f %f %f \n", h1x, h1y, h2x, h2y, hx, hy, k * 40.0);
    }
    std::fclose(f);
    return s;
}

cv::Mat readPicture(const QString& path)
{
    return cv::imread(path.toStdString(), cv::IMREAD_COLOR);
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeText(const QString& path, const QByteArray& text)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(text);
}

// An annotation document on a video: a gloss tier (one gloss with a slash, a
// space and an accent, one ending after `outsideMs`), a symbolic tier that
// refers to it, and an empty tier.
QByteArray glossDocument(int outsideMs)
{
    return QString(R"(<?xml version="1.0" encoding="UTF-8"?>
<ANNOTATION_DOCUMENT AUTHOR="" DATE="2026-01-01T00:00:00+00:00" FORMAT="3.0" VERSION="3.0">
  <HEADER MEDIA_FILE="" TIME_UNITS="milliseconds"/>
  <TIME_ORDER>
    <TIME_SLOT TIME_SLOT_ID="ts1" TIME_VALUE="400"/>
    <TIME_SLOT TIME_SLOT_ID="ts2" TIME_VALUE="1200"/>
    <TIME_SLOT TIME_SLOT_ID="ts3" TIME_VALUE="1600"/>
    <TIME_SLOT TIME_SLOT_ID="ts4" TIME_VALUE="%1"/>
  </TIME_ORDER>
  <TIER LINGUISTIC_TYPE_REF="gloss" TIER_ID="Gloss">
    <ANNOTATION><ALIGNABLE_ANNOTATION ANNOTATION_ID="a1" TIME_SLOT_REF1="ts1" TIME_SLOT_REF2="ts2">
      <ANNOTATION_VALUE>MAISON/TOIT é</ANNOTATION_VALUE></ALIGNABLE_ANNOTATION></ANNOTATION>
    <ANNOTATION><ALIGNABLE_ANNOTATION ANNOTATION_ID="a2" TIME_SLOT_REF1="ts3" TIME_SLOT_REF2="ts4">
      <ANNOTATION_VALUE>TROP-LONG</ANNOTATION_VALUE></ALIGNABLE_ANNOTATION></ANNOTATION>
  </TIER>
  <TIER LINGUISTIC_TYPE_REF="translation" PARENT_REF="Gloss" TIER_ID="Traduction">
    <ANNOTATION><REF_ANNOTATION ANNOTATION_ID="a3" ANNOTATION_REF="a1">
      <ANNOTATION_VALUE>la maison</ANNOTATION_VALUE></REF_ANNOTATION></ANNOTATION>
  </TIER>
  <TIER LINGUISTIC_TYPE_REF="gloss" TIER_ID="Vide"/>
  <LINGUISTIC_TYPE LINGUISTIC_TYPE_ID="gloss" TIME_ALIGNABLE="true"/>
  <LINGUISTIC_TYPE CONSTRAINTS="Symbolic_Association" LINGUISTIC_TYPE_ID="translation" TIME_ALIGNABLE="false"/>
  <CONSTRAINT DESCRIPTION="1-1" STEREOTYPE="Symbolic_Association"/>
</ANNOTATION_DOCUMENT>
)")
        .arg(outsideMs)
        .toUtf8();
}

// Seconds of frame k as text, exact enough that round(s * 600) is frame k's time.
QString secondsOf(int k, double fps)
{
    return QString::number(double(k) / fps, 'f', 6);
}

} // namespace

class TestGlyphoraApp : public QObject {
    Q_OBJECT
private:
    QTemporaryDir tmp_;
    Synthetic small_; // 320x240, 60 frames
    Synthetic other_; // 160x120, 30 frames
    QString video_, tracking_; // the sample when built, else small_
    bool usingSample_ = false;

    std::unique_ptr<Principal> makeWindow()
    {
        auto w = std::make_unique<Principal>(QString(GLYPHORA_RESOURCES_DIR));
        w->setOpenFileChooser([](const QString&) { return QString(); });
        w->setSaveFileChooser([](const QString&) { return QString(); });
        w->setConfirmer([](const QString&) { return true; });
        w->show();
        if (!QTest::qWaitForWindowExposed(w.get()))
            qWarning("window not exposed");
        return w;
    }

    void goTo(Principal& w, int frame)
    {
        w.moviePane()->mainMovie()->setCurrentTime(MovieTime::ofFrame(frame, w.session().fps()));
    }

    void closeMessage(Principal& w)
    {
        if (w.messageBox())
            w.messageBox()->close();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(tmp_.isValid());
        small_ = writeSynthetic(tmp_.path(), "small", cv::Size(320, 240), 60);
        other_ = writeSynthetic(tmp_.path(), "other", cv::Size(160, 120), 30);
        const QString sample = QString(VESTIGA_SAMPLE_DIR);
        usingSample_ = QFile::exists(sample + "/signer.avi") && QFile::exists(sample + "/signer.track");
        video_ = usingSample_ ? sample + "/signer.avi" : small_.video;
        tracking_ = usingSample_ ? sample + "/signer.track" : small_.tracking;
        if (!usingSample_)
            qInfo("the sample signer is not built: using a synthetic video and tracking");
    }

    // Loading in either order, again, failed loads and cancelled dialogs.
    void loadsInEitherOrderAndKeepsStateOnFailure()
    {
        auto w = makeWindow();
        QVERIFY(!w->displayTimer()->isActive());
        QVERIFY(w->openTracking(tracking_));
        QVERIFY(w->session().hasTracking());
        QVERIFY(!w->displayTimer()->isActive());
        QVERIFY(w->openVideo(video_));
        QVERIFY(w->displayTimer()->isActive());
        QCOMPARE(w->displayTimer()->interval(), 500);
        QVERIFY(w->moviePane()->mainMovie()->hasVideo() && w->moviePane()->beginMovie()->hasVideo() && w->moviePane()->endMovie()->hasVideo());
        const int lines = w->session().tracking().lineCount();
        QVERIFY(lines > 10);
        QVERIFY(w->session().rate() > 0);

        // Three movies: moving the main one leaves the others alone.
        goTo(*w, 12);
        QCOMPARE(w->moviePane()->beginMovie()->currentTime().value, 0);
        QCOMPARE(w->session().mainTime(), w->moviePane()->mainMovie()->currentTime());
        w->onTimer();
        QCOMPARE(w->moviePane()->timeLabel()->text(), QString::fromLatin1([&] {
                     char b[32];
                     return std::string(media::formatTime(w->moviePane()->mainMovie()->currentTime(), b));
                 }().c_str()));
        QVERIFY(!w->bufferPicture().empty());

        // Failed loads say why and change nothing.
        const cv::Size size = w->session().frameSize();
        QVERIFY(!w->openVideo(tmp_.path() + "/missing.avi"));
        QVERIFY(w->lastMessage().contains("missing.avi"));
        QVERIFY(w->messageBox() && w->messageBox()->isVisible());
        closeMessage(*w);
        const QString bad = tmp_.path() + "/bad.track";
        {
            QFile f(bad);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("0.1 0.2 0.3 0.4 0.5 0.6 40 \n0.1 0.2 trois\n");
        }
        QVERIFY(!w->openTracking(bad));
        QVERIFY(w->lastMessage().contains("bad.track"));
        closeMessage(*w);
        QVERIFY(!w->openVideo(bad)); // not a video
        closeMessage(*w);
        QCOMPARE(w->session().tracking().lineCount(), lines);
        QCOMPARE(w->session().frameSize(), size);
        QVERIFY(w->moviePane()->mainMovie()->hasVideo());

        // Cancelled dialogs: nothing changes and nothing is said.
        const QString before = w->lastMessage();
        w->loadVideo();
        w->loadTracking();
        QCOMPARE(w->lastMessage(), before);
        QCOMPARE(w->session().frameSize(), size);

        // The dialogs carry their titles.
        QStringList titles;
        w->setOpenFileChooser([&](const QString& t) { titles << t; return QString(); });
        w->loadVideo();
        w->loadTracking();
        QCOMPARE(titles, QStringList({"ouvrir le fichier video", "fichier de suivi"}));

        // A second video replaces the first cleanly: one timer, new sizes,
        // no key frames left from the first.
        goTo(*w, 5);
        w->captureKeyFrame();
        QCOMPARE(w->session().kfCount(), 1);
        w->setOpenFileChooser([&](const QString&) { return other_.video; });
        w->loadVideo();
        QCOMPARE(w->session().frameSize(), cv::Size(160, 120));
        QCOMPARE(w->session().kfCount(), 0);
        QCOMPARE(w->moviePane()->mainMovie()->frameCount(), 30);
        QCOMPARE(w->moviePane()->mainMovie()->currentTime().value, 0);
        int activeTimers = 0;
        for (QTimer* t : w->findChildren<QTimer*>())
            if (t->isActive() && t->interval() == 500)
                ++activeTimers;
        QCOMPARE(activeTimers, 1);
        w->onTimer();
        QCOMPARE(w->bufferPicture().size(), cv::Size(160, 120));
        w->setOpenFileChooser([&](const QString&) { return other_.tracking; });
        w->loadTracking();
        QCOMPARE(w->session().tracking().lineCount(), 30);
    }

    // Captures widen the sign's boundaries; the average stays the average.
    void capturesWidenTheBoundaries()
    {
        auto w = makeWindow();
        QVERIFY(w->openVideo(video_));
        QVERIFY(w->openTracking(tracking_));
        const double fps = w->session().fps();
        auto t = [&](int k) { return MovieTime::ofFrame(k, fps).value; };

        goTo(*w, 20);
        w->captureKeyFrame();
        QCOMPARE(w->moviePane()->beginMovie()->currentTime().value, t(20));
        QCOMPARE(w->moviePane()->endMovie()->currentTime().value, t(20));
        goTo(*w, 10);
        w->captureKeyFrame(); // before the begin: only the begin moves
        QCOMPARE(w->moviePane()->beginMovie()->currentTime().value, t(10));
        QCOMPARE(w->moviePane()->endMovie()->currentTime().value, t(20));
        goTo(*w, 30);
        w->captureKeyFrame(); // after the end: only the end moves
        QCOMPARE(w->moviePane()->beginMovie()->currentTime().value, t(10));
        QCOMPARE(w->moviePane()->endMovie()->currentTime().value, t(30));
        goTo(*w, 15);
        w->captureKeyFrame(); // inside: nothing moves
        QCOMPARE(w->moviePane()->beginMovie()->currentTime().value, t(10));
        QCOMPARE(w->moviePane()->endMovie()->currentTime().value, t(30));
        QCOMPARE(w->session().beginTime().value, t(10));
        QCOMPARE(w->session().endTime().value, t(30));
        QCOMPARE(w->session().kfCount(), 4);
        QVERIFY(w->selectionPane()->countLabel()->text().startsWith("4"));

        // The key frame is the frame shown at the capture time.
        cv::Mat expected;
        QVERIFY(glyphora::prepareFrame(w->moviePane()->mainMovie()->currentFrame(), expected));
        QCOMPARE(cv::norm(expected, w->session().keyFrame(3), cv::NORM_INF), 0.0);

        // The buffer view shows the current frame over the key-frame average.
        cv::Mat average = cv::Mat::zeros(expected.size(), CV_8UC3);
        for (int i = 0; i < 4; ++i)
            glyphora::accumulateKeyFrame(average, w->session().keyFrame(i), i);
        w->onTimer();
        cv::Mat buffer;
        glyphora::blendHalf(average, expected, buffer);
        QCOMPARE(cv::norm(buffer, w->bufferPicture(), cv::NORM_INF), 0.0);

        // Mixing does not disturb the average kept for the buffer view.
        w->validateKeyFrame();
        w->onTimer();
        w->displayKFSelecWin();
        QCOMPARE(cv::norm(average, w->session().kfBuffer(), cv::NORM_INF), 0.0);
        w->onTimer();
        QCOMPARE(cv::norm(buffer, w->bufferPicture(), cv::NORM_INF), 0.0);

        // Boundary buttons take the main movie's time as it is.
        goTo(*w, 40);
        w->onPressEndSign();
        QCOMPARE(w->moviePane()->endMovie()->currentTime().value, t(40));
        goTo(*w, 2);
        w->onPressBegSign();
        QCOMPARE(w->moviePane()->beginMovie()->currentTime().value, t(2));
        // The begin view moved by hand is the boundary too.
        w->moviePane()->beginMovie()->setCurrentTime(MovieTime::ofFrame(8, fps));
        QCOMPARE(w->session().beginTime().value, t(8));

        QVERIFY(w->grab().save(screenPath("1-selection")));
    }

    void theTwentyFirstCaptureIsRefused()
    {
        auto w = makeWindow();
        QVERIFY(w->openVideo(video_));
        for (int k = 0; k < 20; ++k) {
            goTo(*w, k);
            w->captureKeyFrame();
        }
        QCOMPARE(w->session().kfCount(), 20);
        QVERIFY(!w->selectionPane()->captureButton()->isEnabled());
        goTo(*w, 25);
        w->captureKeyFrame();
        QCOMPARE(w->session().kfCount(), 20);
        QVERIFY(w->lastMessage().contains("20"));
        QVERIFY(w->messageBox() && w->messageBox()->isVisible());
        closeMessage(*w);
        // The end boundary did not move for the refused capture.
        QCOMPARE(w->session().endTime().value, MovieTime::ofFrame(19, w->session().fps()).value);

        // After a reset, kfnb never names a missing key frame.
        w->validateKeyFrame();
        for (int i = 0; i < 19; ++i)
            w->nextKF();
        QCOMPARE(w->session().kfnb(), 19);
        w->displayKFSelecWin();
        w->resetKeyFrame();
        QVERIFY(w->session().curKeyFrame() == nullptr);
        QVERIFY(w->mixingPane()->keyFrameView()->image() == nullptr);
        w->captureKeyFrame();
        QVERIFY(w->session().kfnb() >= w->session().kfCount());
        QVERIFY(w->mixingPane()->keyFrameView()->image() == nullptr);
        w->onTimer();
        w->nextKF();
        w->prevKF();
        w->setKeyFrameShown(true);
        w->setKeyFrameShown(false);
        w->paintStroke(QPointF(10, 10), QSizeF(100, 100));
        QCOMPARE(w->session().kfCount(), 1);
    }

    // The mixing step: stepping, shifting, hiding, showing and painting.
    void mixingStepEditsKeyFrames()
    {
        auto w = makeWindow();
        QVERIFY(w->openVideo(video_));
        QVERIFY(w->openTracking(tracking_));
        for (int k : {10, 20, 30}) {
            goTo(*w, k);
            w->captureKeyFrame();
        }
        w->validateKeyFrame();
        QCOMPARE(w->shownPane(), w->mixingPane());
        QCOMPARE(w->session().kfnb(), 0);
        QCOMPARE(w->mixingPane()->keyFrameView()->image(), &w->session().keyFrame(0));

        for (int i = 0; i < 4; ++i)
            w->nextKF();
        QCOMPARE(w->session().kfnb(), 2);
        QVERIFY(w->mixingPane()->indexLabel()->text().contains("3"));
        w->prevKF();
        QCOMPARE(w->session().kfnb(), 1);

        // A shift of 25 hundredths, kept when stepping away and back.
        w->mixingPane()->shiftSlider()->setValue(25);
        QCOMPARE(w->session().keyFrameOffset(1), 0.25f);
        w->nextKF();
        QCOMPARE(w->mixingPane()->shiftSlider()->value(), 0);
        w->prevKF();
        QCOMPARE(w->mixingPane()->shiftSlider()->value(), 25);
        w->onTimer(); // the mix follows the shift at the tick

        auto mixOfSession = [&] {
            const auto& s = w->session();
            cv::Mat frames[3], masks[3];
            float offsets[3];
            for (int i = 0; i < 3; ++i) {
                frames[i] = s.keyFrame(i);
                masks[i] = s.keyFrame(i).empty() ? cv::Mat() : s.keyFrameMask(i);
                offsets[i] = s.keyFrameOffset(i);
            }
            cv::Mat mixed;
            glyphora::drawMix(s.frameSize(), frames, masks, offsets, 3, mixed);
            return mixed;
        };
        QCOMPARE(cv::norm(mixOfSession(), w->mixPicture(), cv::NORM_INF), 0.0);

        // Hide the edited key frame, then paint part of it back.
        w->setKeyFrameShown(false);
        QCOMPARE(cv::countNonZero(w->session().keyFrameMask(1)), 0);
        QCOMPARE(cv::norm(mixOfSession(), w->mixPicture(), cv::NORM_INF), 0.0);
        const QPoint centre(w->mixingPane()->keyFrameView()->width() / 2, w->mixingPane()->keyFrameView()->height() / 2);
        QMouseEvent press(QEvent::MouseButtonPress, centre, w->mixingPane()->keyFrameView()->mapToGlobal(centre), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w->mixingPane()->keyFrameView(), &press);
        const QPoint further = centre + QPoint(w->mixingPane()->keyFrameView()->width() / 5, 0);
        QMouseEvent drag(QEvent::MouseMove, further, w->mixingPane()->keyFrameView()->mapToGlobal(further), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w->mixingPane()->keyFrameView(), &drag);
        QMouseEvent release(QEvent::MouseButtonRelease, further, w->mixingPane()->keyFrameView()->mapToGlobal(further),
                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(w->mixingPane()->keyFrameView(), &release);

        const cv::Mat& mask = w->session().keyFrameMask(1);
        auto maskAt = [&](QPoint p) {
            const int px = int(mask.cols * double(p.x()) / w->mixingPane()->keyFrameView()->width());
            const int py = int(mask.rows * double(w->mixingPane()->keyFrameView()->height() - p.y()) / w->mixingPane()->keyFrameView()->height());
            return int(mask.at<uchar>(py, px));
        };
        QCOMPARE(maskAt(centre), 255);
        QCOMPARE(maskAt(further), 255);
        QCOMPARE(int(mask.at<uchar>(2, 2)), 0); // far from the stroke
        QCOMPARE(cv::norm(mixOfSession(), w->mixPicture(), cv::NORM_INF), 0.0);
        QVERIFY(w->grab().save(screenPath("2-mixing")));

        w->setKeyFrameShown(true);
        QCOMPARE(cv::countNonZero(w->session().keyFrameMask(1) != 50), 0);
        QCOMPARE(cv::norm(mixOfSession(), w->mixPicture(), cv::NORM_INF), 0.0);

        // Back to the selection and forward again: key frames kept.
        w->displayKFSelecWin();
        QCOMPARE(w->shownPane(), w->selectionPane());
        QCOMPARE(w->session().kfCount(), 3);
        w->validateKeyFrame();
        w->validateKeyFrameMix();
        QCOMPARE(w->shownPane(), w->arrowsPane());
        w->displayFirstWinNewPS();
        QCOMPARE(w->shownPane(), w->selectionPane());
        QCOMPARE(w->session().kfCount(), 0);
    }

    // The arrows step: every pattern and symmetry reaches the sign pattern,
    // the visibility boxes follow their rule, and arrows are drawn.
    void arrowsStepDrivesTheSignPattern()
    {
        auto w = makeWindow();
        QVERIFY(w->openVideo(video_));
        QVERIFY(w->openTracking(tracking_));
        for (int k : {10, 30}) {
            goTo(*w, k);
            w->captureKeyFrame();
        }
        w->validateKeyFrame();
        w->validateKeyFrameMix();
        QCOMPARE(w->shownPane(), w->arrowsPane());
        QCOMPARE(w->arrowsPane()->patternList()->count(), 8);
        QCOMPARE(w->arrowsPane()->symmetryList()->count(), 8);
        QCOMPARE(w->arrowsPane()->patternList()->itemText(7), QString("aucun mouvement"));
        QCOMPARE(w->arrowsPane()->symmetryList()->itemText(0), QString("aucune (mains libres)"));

        const QImage plain = [&] {
            w->arrowsPane()->patternList()->setCurrentIndex(7);
            return w->arrowsPane()->arrowView()->grabFramebuffer();
        }();
        for (int p = 0; p < 8; ++p) {
            w->arrowsPane()->patternList()->setCurrentIndex(p);
            QCOMPARE(w->session().spat().moPat, p);
            if (p == 0 || p == 5) {
                // The arrows change the picture.
                const QImage drawn = w->arrowsPane()->arrowView()->grabFramebuffer();
                QVERIFY(drawn != plain);
                QVERIFY(drawn.save(screenPath(QString("arrows-pattern-%1").arg(p))));
            }
        }
        for (int s = 0; s < 8; ++s) {
            w->arrowsPane()->symmetryList()->setCurrentIndex(s);
            QCOMPARE(w->session().spat().symType, s);
        }
        w->arrowsPane()->symmetryList()->setCurrentIndex(0);
        w->arrowsPane()->patternList()->setCurrentIndex(0);
        // The orientation reaches the pattern through the refresh.
        w->arrowsPane()->orientationSlider()->setValue(270);
        QCOMPARE(w->session().spat().orientation, 270.0f);
        // The shift sliders are read when the view draws.
        w->arrowsPane()->rightShiftX()->setValue(100);
        QCOMPARE(w->session().arrowControls().offsetRArrowX, 0.1);

        // Visibility boxes: both off -> symmetry 7 and no movement; R on -> 2;
        // L on -> 0; the movement stays "none".
        w->arrowsPane()->rightBox()->click();
        QCOMPARE(w->arrowsPane()->symmetryList()->currentIndex(), 1);
        w->arrowsPane()->leftBox()->click();
        QCOMPARE(w->arrowsPane()->symmetryList()->currentIndex(), 7);
        QCOMPARE(w->arrowsPane()->patternList()->currentIndex(), 7);
        w->arrowsPane()->rightBox()->click();
        QCOMPARE(w->arrowsPane()->symmetryList()->currentIndex(), 2);
        w->arrowsPane()->leftBox()->click();
        QCOMPARE(w->arrowsPane()->symmetryList()->currentIndex(), 0);
        QCOMPARE(w->arrowsPane()->patternList()->currentIndex(), 7);
        QCOMPARE(w->session().spat().symType, 0);

        w->arrowsPane()->patternList()->setCurrentIndex(0);
        w->onTimer();
        QVERIFY(w->arrowsPane()->infoLabel()->text().contains("lignes"));
        QVERIFY(w->grab().save(screenPath("3-arrows")));
    }

    // Saving: the JPEG, the ".sgn" file and the export are those the command
    // line makes for the same inputs.
    void savesWhatTheCommandLineSaves_data()
    {
        QTest::addColumn<int>("pattern");
        QTest::addColumn<int>("symmetry");
        QTest::addColumn<int>("orientation");
        QTest::newRow("free path") << 0 << 0 << 0;
        QTest::newRow("arc, one hand") << 1 << 1 << 45;
        QTest::newRow("back and forth, mirror") << 3 << 4 << 200;
        QTest::newRow("double circle, centre") << 6 << 5 << 0;
    }

    void savesWhatTheCommandLineSaves()
    {
        QFETCH(int, pattern);
        QFETCH(int, symmetry);
        QFETCH(int, orientation);
        auto w = makeWindow();
        QVERIFY(w->openVideo(video_));
        QVERIFY(w->openTracking(tracking_));
        const double fps = w->session().fps();
        const int b = 10, e = 30;
        goTo(*w, b);
        w->captureKeyFrame();
        goTo(*w, e);
        w->captureKeyFrame();
        w->validateKeyFrame();
        w->nextKF();
        w->mixingPane()->shiftSlider()->setValue(10);
        w->validateKeyFrameMix();
        w->arrowsPane()->arrowView()->setFixedSize(320, 240);
        QTest::qWait(50);
        QCOMPARE(w->arrowsPane()->arrowView()->pixelSize(), QSize(320, 240));
        w->arrowsPane()->symmetryList()->setCurrentIndex(symmetry);
        w->arrowsPane()->patternList()->setCurrentIndex(pattern);
        w->arrowsPane()->orientationSlider()->setValue(orientation);
        w->arrowsPane()->leftShiftY()->setValue(-50);
        w->onTimer();

        const QString name = tmp_.path() + QString("/app-%1-%2").arg(pattern).arg(symmetry);
        QStringList titles;
        w->setSaveFileChooser([&](const QString& t) { titles << t; return name; });
        QVERIFY(!w->confWin()->isVisible());
        w->saveGL();
        QCOMPARE(titles, QStringList{"nom du fichier de sauvegarde"});
        QVERIFY2(QFile::exists(name + ".jpg"), qPrintable(w->lastMessage()));
        QVERIFY(w->confWin()->isVisible());
        w->confWin()->newMatrix()->cell(1)->click();
        w->confWin()->newMatrix()->cell(7)->click();
        QCOMPARE(w->matConf(), w->confWin()->newMatrix());
        const std::string expectedExport = w->session().exportTracking();
        w->saveDescr();
        QVERIFY(!w->confWin()->isVisible());
        QCOMPARE(w->confWin()->newMatrix()->cellState(1, 0), 0); // reset after saving
        QVERIFY(QFile::exists(name + ".sgn"));
        const QByteArray sgn = readAll(name + ".sgn");
        QVERIFY(sgn.contains(" 01000001"));
        const cv::Mat picture = readPicture(name + ".jpg");
        QCOMPARE(picture.cols, 320);
        QCOMPARE(picture.rows, 240);

#ifdef GLYPHORA_RENDER_EXE
        const QString cliName = tmp_.path() + QString("/cli-%1-%2").arg(pattern).arg(symmetry);
        QProcess cli;
        cli.start(GLYPHORA_RENDER_EXE,
                  {video_, tracking_, "-o", cliName, "--begin", secondsOf(b, fps), "--end", secondsOf(e, fps),
                   "--keyframe", secondsOf(b, fps), "--keyframe", secondsOf(e, fps) + ":0.1", "--pattern",
                   QString::number(pattern), "--symmetry", QString::number(symmetry), "--orientation",
                   QString::number(orientation), "--left-offset", "0,-0.05", "--configuration", "1,7",
                   "--size", "320x240"});
        QVERIFY(cli.waitForFinished(60000));
        QVERIFY2(cli.exitCode() == 0, cli.readAllStandardError().constData());
        const QByteArray out = cli.readAllStandardOutput();
        QVERIFY(out.startsWith(QByteArray::fromStdString(expectedExport)));
        QCOMPARE(readAll(cliName + ".sgn"), sgn);
        const cv::Mat cliPicture = readPicture(cliName + ".jpg");
        QCOMPARE(cliPicture.size(), picture.size());
        QCOMPARE(cv::norm(cliPicture, picture, cv::NORM_INF), 0.0);
        QCOMPARE(readAll(cliName + ".jpg"), readAll(name + ".jpg"));
#else
        Q_UNUSED(fps);
        qInfo("glyphora-render is not part of the build: no comparison");
#endif
        if (pattern == 0)
            QVERIFY(w->confWin()->grab().save(screenPath("4-configuration-after-save")));
    }

    // Refusals around saving: cancelled save panel, description first,
    // a missing folder.
    void savingRefusesWhatCannotBeDone()
    {
        auto w = makeWindow();
        QVERIFY(w->openVideo(video_));
        QVERIFY(w->openTracking(tracking_));
        goTo(*w, 10);
        w->captureKeyFrame();
        w->validateKeyFrame();
        w->validateKeyFrameMix();

        const QStringList descriptions = QDir(tmp_.path()).entryList({"*.sgn"});
        w->saveDescr();
        QVERIFY(w->lastMessage().contains("image"));
        closeMessage(*w);
        QCOMPARE(QDir(tmp_.path()).entryList({"*.sgn"}), descriptions); // nothing written

        const QStringList before = QDir(tmp_.path()).entryList(QDir::Files);
        w->saveGL(); // cancelled
        QVERIFY(!w->confWin()->isVisible());
        QCOMPARE(QDir(tmp_.path()).entryList(QDir::Files), before);
        QVERIFY(w->session().exportName().empty());

        w->setSaveFileChooser([&](const QString&) { return tmp_.path() + "/no/such/folder/sign"; });
        w->saveGL();
        QVERIFY(w->lastMessage().contains("folder") || w->lastMessage().contains("dossier"));
        closeMessage(*w);
        QVERIFY(!w->confWin()->isVisible());
        QVERIFY(w->session().exportName().empty());

        // An existing picture is replaced only when the user agrees.
        const QString name = tmp_.path() + "/kept";
        {
            QFile f(name + ".jpg");
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("precious");
        }
        w->setSaveFileChooser([&](const QString&) { return name; });
        w->setConfirmer([](const QString&) { return false; });
        w->saveGL();
        QCOMPARE(readAll(name + ".jpg"), QByteArray("precious"));
        w->setConfirmer([](const QString&) { return true; });
        w->saveGL();
        QVERIFY(readAll(name + ".jpg").startsWith("\xff\xd8"));
    }

    // The configuration grid from a folder of test pictures.
    void configurationGridFromAFolder()
    {
        QTemporaryDir dir;
        auto png = [&](const QString& n, QColor c) {
            QImage img(40, 40, QImage::Format_RGB32);
            img.fill(c);
            QVERIFY(img.save(dir.path() + "/" + n, "PNG"));
        };
        png("b.png", Qt::red);
        png("A.png", Qt::green);
        png("c.PNG", Qt::blue);   // upper-case extension: not shown
        png("d.png", Qt::yellow);
        QVERIFY(QDir(dir.path()).mkdir("e.png")); // a folder: skipped
        {
            QFile f(dir.path() + "/0-notes.txt");
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        NSConfWin win(dir.path());
        QCOMPARE(win.imageCount(), 3);
        QCOMPARE(win.imageFiles(), QStringList({"A.png", "b.png", "d.png"}));
        // Consecutive positions from 0: rows 0, 1, 2 of column 0.
        QCOMPARE(win.imArray()[0].toImage().pixelColor(5, 5), QColor(Qt::green));
        QCOMPARE(win.imArray()[1].toImage().pixelColor(5, 5), QColor(Qt::red));
        QVERIFY(win.imArraySelect()[1].toImage().pixelColor(5, 5).red() < 140); // darkened
        ConfMatrix* m = win.newMatrix();
        QVERIFY(m->cellAt(0, 0)->isEnabled() && m->cellAt(2, 0)->isEnabled());
        QVERIFY(!m->cellAt(3, 0)->isEnabled());

        QSignalSpy spy(&win, &NSConfWin::confDidChange);
        m->cellAt(1, 0)->click();
        m->cellAt(2, 0)->click();
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy.at(0).at(0).value<ConfMatrix*>(), m);
        auto states = m->states();
        QCOMPARE(states[1] + states[2], 2);
        m->cellAt(2, 0)->click(); // twice: off again
        QCOMPARE(m->cellState(2, 0), 0);
        win.resetConf(m);
        QCOMPARE(m->cellState(1, 0), 0);
        win.resetConf(nullptr); // nothing recorded: nothing happens

        // At most 50 pictures, the 50th at row 4, column 9.
        QTemporaryDir many;
        for (int i = 0; i < 55; ++i) {
            QImage img(20, 20, QImage::Format_RGB32);
            img.fill(Qt::gray);
            QVERIFY(img.save(many.path() + QString("/p%1.png").arg(i, 2, 10, QChar('0')), "PNG"));
        }
        NSConfWin full(many.path());
        QCOMPARE(full.imageCount(), 50);
        QVERIFY(full.newMatrix()->cellAt(4, 9)->isEnabled());
        full.newMatrix()->cellAt(4, 9)->click();
        full.resetConf(full.newMatrix());
        QCOMPARE(full.newMatrix()->cellState(4, 9), 0);

        // The pictograms shipped with the program.
        NSConfWin shipped{QString(GLYPHORA_RESOURCES_DIR)};
        QVERIFY(shipped.imageCount() >= 12);
        shipped.newMatrix()->cellAt(1, 0)->click();
        shipped.newMatrix()->cellAt(3, 1)->click();
        shipped.show();
        QVERIFY(QTest::qWaitForWindowExposed(&shipped));
        QVERIFY(shipped.grab().save(screenPath("4-configuration")));
    }

    // An annotation document: its gloss tier listed, an annotation chosen in
    // the list makes the sign's span and the picture's name; refusals change
    // nothing.
    void annotationDocumentSetsTheSign()
    {
        auto w = makeWindow();
        QVERIFY(w->openVideo(video_));
        QVERIFY(w->openTracking(tracking_));
        const double seconds = w->session().duration().seconds();
        QVERIFY2(seconds > 1.3, "the video is too short for the document");
        const QString doc = tmp_.path() + "/signs.eaf";
        writeText(doc, glossDocument(int(seconds * 1000) + 500));

        // Refused before it is read: nothing shown, nothing chosen.
        const QString bad = tmp_.path() + "/bad.eaf";
        writeText(bad, "<ANNOTATION_DOCUMENT><TIER TIER_ID=\"Gloss\">");
        QVERIFY(!w->openDocument(bad));
        QVERIFY(w->lastMessage().contains("mal formé"));
        QVERIFY(!w->glosses().hasDocument());
        closeMessage(*w);

        QVERIFY(w->openDocument(doc));
        QCOMPARE(w->glosses().tier(), std::string("Gloss"));
        QCOMPARE(w->glossPane()->tierBox()->count(), 3);
        QCOMPARE(w->glossPane()->tierBox()->currentText(), QString("Gloss"));
        QListWidget* list = w->glossPane()->list();
        QCOMPARE(list->count(), 2);
        QVERIFY(list->item(0)->text().startsWith(QString::fromUtf8("MAISON/TOIT é")));
        QVERIFY(list->item(0)->text().contains("0:00.400"));
        QVERIFY(w->glossPane()->isVisible());

        // Chosen by a click in the list, as the user does.
        const QRect r = list->visualItemRect(list->item(0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
        QCOMPARE(w->session().beginTime(), MovieTime::fromSeconds(0.4));
        QCOMPARE(w->session().endTime(), MovieTime::fromSeconds(1.2));
        QCOMPARE(w->moviePane()->beginMovie()->currentTime(), MovieTime::fromSeconds(0.4));
        QCOMPARE(w->moviePane()->endMovie()->currentTime(), MovieTime::fromSeconds(1.2));
        QCOMPARE(w->session().mainTime(), MovieTime::fromSeconds(0.4));
        QCOMPARE(w->suggestedSaveName(), QFileInfo(video_).absolutePath() + QString::fromUtf8("/MAISON_TOIT_é"));
        QTest::qWait(600); // a display tick, so that the views show the frames
        QVERIFY(w->grab().save(screenPath("5-annotations")));

        // Past the end of the video, an empty tier, a malformed document:
        // refused with a message, the sign and the list as they were.
        QVERIFY(!w->chooseAnnotation(1));
        QVERIFY(w->lastMessage().contains("hors de la vidéo"));
        closeMessage(*w);
        QVERIFY(!w->chooseTier("Vide"));
        QVERIFY(w->lastMessage().contains("aucune annotation"));
        closeMessage(*w);
        QCOMPARE(w->glossPane()->tierBox()->currentText(), QString("Gloss"));
        QVERIFY(!w->openDocument(bad));
        closeMessage(*w);
        QCOMPARE(w->glosses().path(), doc.toStdString());
        QCOMPARE(list->count(), 2);
        QCOMPARE(w->session().beginTime(), MovieTime::fromSeconds(0.4));
        QCOMPARE(w->session().endTime(), MovieTime::fromSeconds(1.2));
        QCOMPARE(w->suggestedSaveName(), QFileInfo(video_).absolutePath() + QString::fromUtf8("/MAISON_TOIT_é"));

        // The symbolic tier takes its parent's times.
        QVERIFY(w->chooseTier("Traduction"));
        QCOMPARE(list->count(), 1);
        QVERIFY(w->chooseAnnotation(0));
        QCOMPARE(w->session().endTime(), MovieTime::fromSeconds(1.2));
        QCOMPARE(w->suggestedSaveName(), QFileInfo(video_).absolutePath() + "/la_maison");

        // Without a "Gloss" tier the user chooses: none is chosen at first.
        const QString other = tmp_.path() + "/other.eaf";
        writeText(other, glossDocument(1600).replace("TIER_ID=\"Gloss\"", "TIER_ID=\"Signes\"")
                             .replace("PARENT_REF=\"Gloss\"", "PARENT_REF=\"Signes\""));
        QVERIFY(w->openDocument(other));
        QVERIFY(w->glosses().tier().empty());
        QCOMPARE(w->glossPane()->tierBox()->currentIndex(), -1);
        QCOMPARE(list->count(), 0);
        QVERIFY(w->chooseTier("Signes"));
        QCOMPARE(list->count(), 2);
        // An empty "Gloss" tier: the document opens, nothing is chosen, and
        // the user is told to pick another tier.
        const QString emptyGloss = tmp_.path() + "/empty-gloss.eaf";
        writeText(emptyGloss, glossDocument(1600).replace("TIER_ID=\"Vide\"", "TIER_ID=\"Gloss\"")
                                  .replace("TIER_ID=\"Gloss\">", "TIER_ID=\"Signes\">")
                                  .replace("PARENT_REF=\"Gloss\"", "PARENT_REF=\"Signes\""));
        QVERIFY(w->openDocument(emptyGloss));
        QVERIFY(w->lastMessage().contains("aucune annotation"));
        closeMessage(*w);
        QVERIFY(w->glosses().tier().empty());
        QCOMPARE(list->count(), 0);
        QVERIFY(w->chooseTier("Signes"));
    }

    // The picture name a gloss gives: kept, replaced, cut and never empty.
    void glossFileNames()
    {
        using glyphora::safeGlossName;
        QCOMPARE(safeGlossName("abc-XYZ_09"), std::string("abc-XYZ_09"));
        QCOMPARE(safeGlossName("MAISON/TOIT é"), std::string("MAISON_TOIT_é"));
        QCOMPARE(safeGlossName("../x"), std::string("___x"));
        QCOMPARE(safeGlossName(""), std::string("_"));
        // 60 characters, counted as characters, not bytes.
        std::string accents;
        for (int i = 0; i < 70; ++i)
            accents += "é";
        std::string sixty;
        for (int i = 0; i < 60; ++i)
            sixty += "é";
        QCOMPARE(safeGlossName(accents), sixty);
        QCOMPARE(safeGlossName(std::string(80, 'a')).size(), size_t(60));
    }
};

int main(int argc, char** argv)
{
    useCompatibilityProfile();
    QApplication app(argc, argv);
    TestGlyphoraApp test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_glyphora_app.moc"
