// The tracking application driven as a user drives it: real windows and
// buttons, with the file dialogs answered by a ScriptedPrompter (and one test
// with the real camera alert).
#include "Interface.h"
#include "MorphWin.h"
#include "ScriptedPrompter.h"
#include "SkinBgWindow.h"

#include "propose/Proposal.h"

#include "qtmedia/MovieView.h"
#include "run/Calibration.h"

#include <QApplication>
#include <QDir>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include <opencv2/videoio.hpp>

using vestiga::Interface;
using vestiga::MorphWin;

namespace {

const QString kSampleVideo = QStringLiteral(VESTIGA_SAMPLE_DIR "/signer.avi");
const QString kSampleCalib = QStringLiteral(VESTIGA_SAMPLE_DIR "/signer.calib");

void clickButton(QWidget* window, const char* name)
{
    auto* b = window->findChild<QPushButton*>(QString::fromLatin1(name));
    QVERIFY2(b, name);
    QVERIFY2(b->isEnabled(), name);
    QTest::mouseClick(b, Qt::LeftButton);
}

void screenshot(QWidget* window, const char* name)
{
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QTest::qWait(50);
    QVERIFY(window->grab().save(QStringLiteral(TEST_BINARY_DIR "/") + QLatin1String(name)));
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A click on the calibration view at picture pixel (X, Y) (top-left origin),
// as the user aims at it on the stretched picture.
void clickPicture(MorphWin* view, double X, double Y)
{
    const QPoint local(int(X * view->QWidget::width() / view->imageWidth()),
                       int(Y * view->QWidget::height() / view->imageHeight()));
    QTest::mouseClick(view, Qt::LeftButton, {}, local);
}

// The six clicks of a calibration file: image-area corners, head-box corners
// (top right, then bottom left), right and left shoulder.
void clickCalibration(MorphWin* view, const vestiga::CalibrationFile& c)
{
    clickPicture(view, c.area[0] + 1, c.area[1] + 1);
    clickPicture(view, c.area[0] + c.area[2] - 2, c.area[1] + c.area[3] - 2);
    clickPicture(view, c.head[0] + c.head[2], c.head[1]);
    clickPicture(view, c.head[0], c.head[1] + c.head[3]);
    clickPicture(view, c.shoulders[0], c.shoulders[1]);
    clickPicture(view, c.shoulders[2], c.shoulders[3]);
}

} // namespace

class TestWorkflow : public QObject {
    Q_OBJECT
private:
    QTemporaryDir out_;
    vestiga::CalibrationFile sampleCalib_;

    bool haveSample()
    {
        std::string error;
        return QFileInfo::exists(kSampleVideo) &&
               vestiga::readCalibrationFile(kSampleCalib.toStdString(), &sampleCalib_, &error);
    }

    // Start window -> video file -> frame `frame` -> calibration window.
    void openSampleAt(Interface& app, ScriptedPrompter* ask, int frame)
    {
        ask->answers << kSampleVideo;
        clickButton(app.startWindow(), "videoFileButton");
        QVERIFY(app.frameWindow()->isVisible());
        QVERIFY(!app.startWindow()->isVisible());
        QCOMPARE(app.sourceMode(), 0);
        for (int k = 0; k < frame; ++k)
            app.movieView()->stepForward(); // frame by frame to the wanted frame
        QCOMPARE(app.movieView()->currentFrameIndex(), int64_t(frame));
        clickButton(app.frameWindow(), "selectPicButton");
        QVERIFY(app.calibrationWindow()->isVisible());
        QVERIFY(!app.frameWindow()->isVisible());
        QVERIFY(QTest::qWaitForWindowExposed(app.calibrationWindow()));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(out_.isValid());
    }

    void cameraWithoutCamera()
    {
        // The scripted alert: exact texts, and the start window stays so the
        // user can choose again.
        auto* ask = new ScriptedPrompter;
        Interface app(ask);
        QVERIFY(QTest::qWaitForWindowExposed(app.startWindow()));
        screenshot(app.startWindow(), "window-start.png");
        clickButton(app.startWindow(), "webcamButton");
        QCOMPARE(ask->messages, QStringList{QStringLiteral(
            "alert:Caméra non trouvée|L'ordinateur ne détecte aucune caméra connectée à cet ordinateur.")});
        QVERIFY(app.startWindow()->isVisible());
        QVERIFY(!app.cameraWindow()->isVisible());
        // The way on from there: the video file.
        if (haveSample()) {
            ask->answers << kSampleVideo;
            clickButton(app.startWindow(), "videoFileButton");
            QVERIFY(app.frameWindow()->isVisible());
            QCOMPARE(app.sourceMode(), 0);
            // And back to the start to choose another source.
            clickButton(app.frameWindow(), "frameBackButton");
            QVERIFY(app.startWindow()->isVisible());
            QVERIFY(!app.frameWindow()->isVisible());
        }
    }

    void realCameraAlert()
    {
        Interface app; // the real dialogs
        QVERIFY(QTest::qWaitForWindowExposed(app.startWindow()));
        QString text, details, buttonText;
        bool seen = false;
        QTimer::singleShot(100, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            seen = true;
            text = box->text();
            details = box->informativeText();
            buttonText = box->buttons().size() == 1 ? box->buttons().first()->text() : QString();
            box->grab().save(QStringLiteral(TEST_BINARY_DIR "/window-camera-alert.png"));
            QTest::mouseClick(box->buttons().first(), Qt::LeftButton);
        });
        clickButton(app.startWindow(), "webcamButton"); // returns when the alert is closed
        QVERIFY(seen);
        QCOMPARE(text, QStringLiteral("Caméra non trouvée"));
        QCOMPARE(details, QStringLiteral("L'ordinateur ne détecte aucune caméra connectée à cet ordinateur."));
        QCOMPARE(buttonText, QStringLiteral("OK"));
        QVERIFY(app.startWindow()->isVisible());
    }

    void realOpenDialogCancelled()
    {
        Interface app; // the real dialogs
        QVERIFY(QTest::qWaitForWindowExposed(app.startWindow()));
        QString title, accept;
        QTimer::singleShot(300, this, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            title = dialog->windowTitle();
            if (auto* box = dialog->findChild<QDialogButtonBox*>())
                if (QPushButton* open = box->button(QDialogButtonBox::Open))
                    accept = open->text();
            dialog->grab().save(QStringLiteral(TEST_BINARY_DIR "/window-open-dialog.png"));
            dialog->reject();
        });
        clickButton(app.startWindow(), "videoFileButton");
        QCOMPARE(title, QStringLiteral("Ouvrir une vidéo"));
        QCOMPARE(accept, QStringLiteral("Ouvrir"));
        // Cancelled: still at the start, nothing chosen.
        QVERIFY(app.startWindow()->isVisible());
        QVERIFY(!app.frameWindow()->isVisible());
        QVERIFY(app.chosenVideo().isEmpty());
    }

    void cancelledAndFailedDialogs()
    {
        if (!haveSample())
            QSKIP("the sample video is missing: build the `sample` target");
        auto* ask = new ScriptedPrompter;
        Interface app(ask);
        // Cancelled open dialog: nothing changes.
        ask->answers << QString();
        clickButton(app.startWindow(), "videoFileButton");
        QVERIFY(app.startWindow()->isVisible());
        QVERIFY(app.chosenVideo().isEmpty());
        // A file that is no video: reported, and the user can choose again.
        const QString notVideo = out_.filePath(QStringLiteral("notes.avi"));
        {
            QFile f(notVideo);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("not a video\n");
        }
        ask->answers << notVideo;
        clickButton(app.startWindow(), "videoFileButton");
        QCOMPARE(ask->messages.size(), 1);
        QVERIFY(ask->messages[0].startsWith(QStringLiteral("alert:La vidéo ne peut pas être ouverte.")));
        QVERIFY(app.startWindow()->isVisible());
        QVERIFY(app.chosenVideo().isEmpty());
        QCOMPARE(ask->titles.last(), QStringLiteral("Ouvrir une vidéo"));

        openSampleAt(app, ask, 3);
        QCOMPARE(app.chosenVideo(), kSampleVideo);
        clickCalibration(app.calibrationView(), sampleCalib_);
        clickButton(app.calibrationWindow(), "validateButton");
        QVERIFY(app.skinBgWindow()->isVisible());

        // Skin and background: cancelled, then unreadable: nothing stored.
        ask->messages.clear();
        ask->answers << QString() << notVideo << QString() << notVideo;
        clickButton(app.skinBgWindow(), "loadSkinButton");
        clickButton(app.skinBgWindow(), "loadSkinButton");
        clickButton(app.skinBgWindow(), "loadBgButton");
        clickButton(app.skinBgWindow(), "loadBgButton");
        QCOMPARE(ask->titles.mid(ask->titles.size() - 4),
                 (QStringList{QStringLiteral("ouvrir le fichier de peau"), QStringLiteral("ouvrir le fichier de peau"),
                              QStringLiteral("ouvrir le fichier de fond"), QStringLiteral("ouvrir le fichier de fond")}));
        QCOMPARE(ask->messages.size(), 2);
        QVERIFY(app.chosenSkin().isEmpty());
        QVERIFY(app.chosenBackground().isEmpty());
        // A background of another size than the video is refused too.
        const QString smallBg = out_.filePath(QStringLiteral("small-bg.png"));
        QVERIFY(QImage(64, 48, QImage::Format_RGB32).save(smallBg));
        ask->answers << smallBg;
        clickButton(app.skinBgWindow(), "loadBgButton");
        QVERIFY(app.chosenBackground().isEmpty());
        QCOMPARE(ask->messages.size(), 3);

        // Cancelled "fichier de suivi": no run, nothing written.
        ask->answers << QString();
        clickButton(app.skinBgWindow(), "begTrackButton");
        QCOMPARE(ask->titles.last(), QStringLiteral("fichier de suivi"));
        QVERIFY(!app.tracking());
        QVERIFY(app.skinBgWindow()->isVisible());
        // The video itself as the tracking file: refused, the video intact.
        const QByteArray videoBytes = readAll(kSampleVideo);
        ask->answers << kSampleVideo;
        clickButton(app.skinBgWindow(), "begTrackButton");
        QVERIFY(!app.tracking());
        QCOMPARE(ask->messages.size(), 4);
        QCOMPARE(readAll(kSampleVideo), videoBytes);
        // Cancelled calibration save: nothing written.
        ask->answers << QString();
        clickButton(app.skinBgWindow(), "saveCalibrationButton");
        QCOMPARE(QDir(out_.path()).entryList(QDir::Files).size(), 2); // notes.avi, small-bg.png
    }

    void refusedCalibration()
    {
        if (!haveSample())
            QSKIP("the sample video is missing: build the `sample` target");
        auto* ask = new ScriptedPrompter;
        Interface app(ask);
        openSampleAt(app, ask, 0);
        MorphWin* view = app.calibrationView();
        auto* field = app.calibrationWindow()->findChild<QLabel*>(QStringLiteral("instructionField"));
        QVERIFY(field);
        QCOMPARE(field->text(), MorphWin::instruction(0));

        // Unfinished calibration.
        clickPicture(view, 10, 10);
        clickButton(app.calibrationWindow(), "validateButton");
        QCOMPARE(ask->messages.size(), 1);
        QVERIFY(ask->messages[0].contains(QStringLiteral("pas terminé")));
        QCOMPARE(view->state(), 0);
        QVERIFY(app.calibrationWindow()->isVisible());

        // An image area taller than wide, then a head box outside the area:
        // refused, back to the first click.
        const int w = view->imageWidth(), h = view->imageHeight();
        vestiga::CalibrationFile tall = sampleCalib_;
        tall.area[0] = w * 0.4, tall.area[2] = w * 0.2, tall.area[1] = h * 0.05, tall.area[3] = h * 0.9;
        clickCalibration(view, tall);
        clickButton(app.calibrationWindow(), "validateButton");
        QCOMPARE(ask->messages.size(), 2);
        QVERIFY(ask->messages[1].contains(QStringLiteral("plus haute que large")));
        QCOMPARE(view->state(), 0);
        QCOMPARE(field->text(), MorphWin::instruction(0));

        // An image area that starts in the middle of the head box.
        vestiga::CalibrationFile offHead = sampleCalib_;
        offHead.area[0] = offHead.head[0] + offHead.head[2] / 2;
        offHead.area[1] = 0;
        offHead.area[2] = w - offHead.area[0];
        offHead.area[3] = std::min(double(h), offHead.area[2]);
        clickCalibration(view, offHead);
        clickButton(app.calibrationWindow(), "validateButton");
        QCOMPARE(ask->messages.size(), 3);
        QVERIFY(ask->messages[2].contains(QStringLiteral("tête")));
        QVERIFY(app.calibrationWindow()->isVisible());
        QCOMPARE(view->state(), 0);

        // selectAgain after a good calibration: first instruction again.
        clickCalibration(view, sampleCalib_);
        QCOMPARE(view->state(), 6);
        screenshot(app.calibrationWindow(), "window-calibration.png");
        clickButton(app.calibrationWindow(), "selectAgainButton");
        QCOMPARE(view->state(), 0);
        QCOMPARE(field->text(), MorphWin::instruction(0));
        clickCalibration(view, sampleCalib_);
        clickButton(app.calibrationWindow(), "validateButton");
        QVERIFY(app.skinBgWindow()->isVisible());
        QCOMPARE(view->state(), 0); // reset on validation, the clicks kept
        QVERIFY(view->getCropRec().width > 0);
    }

    void fileModeWorkflowMatchesCommandLine()
    {
        if (!haveSample())
            QSKIP("the sample video is missing: build the `sample` target");
        auto* ask = new ScriptedPrompter;
        Interface app(ask);
        QSignalSpy quit(&app, &Interface::quitRequested);
        QSignalSpy ended(&app, &Interface::trackingEnded);
        const int refFrame = 5;
        ask->answers << kSampleVideo;
        clickButton(app.startWindow(), "videoFileButton");
        for (int k = 0; k < refFrame; ++k)
            app.movieView()->stepForward();
        screenshot(app.frameWindow(), "window-frame-choice.png");
        clickButton(app.frameWindow(), "selectPicButton");
        QVERIFY(app.calibrationWindow()->isVisible());
        QCOMPARE(app.referenceFrame(), int64_t(refFrame));
        MorphWin* view = app.calibrationView();
        // The picture keeps its proportions on screen.
        const double shown = double(view->QWidget::width()) / view->QWidget::height();
        QVERIFY(std::abs(shown - double(view->imageWidth()) / view->imageHeight()) < 0.01);

        clickCalibration(view, sampleCalib_);
        // The clicks land within a few pixels of the sample's calibration.
        const vestiga::PicRect crop = view->getCropRec();
        const double scale = double(view->imageWidth()) / view->QWidget::width();
        QVERIFY(std::abs(crop.x - sampleCalib_.area[0]) <= 2 * scale + 1);
        QVERIFY(std::abs(crop.width - sampleCalib_.area[2]) <= 4 * scale + 3);
        clickButton(app.calibrationWindow(), "validateButton");
        QVERIFY(app.skinBgWindow()->isVisible());
        screenshot(app.skinBgWindow(), "window-skin-background.png");

        // Save the calibration, then track.
        const QString calib = out_.filePath(QStringLiteral("clicked.calib"));
        ask->answers << calib;
        clickButton(app.skinBgWindow(), "saveCalibrationButton");
        QCOMPARE(ask->titles.last(), QStringLiteral("Enregistrer le paramétrage"));
        QVERIFY(QFileInfo::exists(calib));
        vestiga::CalibrationFile saved;
        std::string error;
        QVERIFY2(vestiga::readCalibrationFile(calib.toStdString(), &saved, &error), error.c_str());
        QCOMPARE(saved.referenceFrame, refFrame);
        QVERIFY(saved.hasShoulderDistance);
        QCOMPARE(float(saved.shoulderDistance), view->getDShould());
        QCOMPARE(saved.sleevesToWrist, true);
        // What the file gives back is what the view computed, to the bit.
        const vestiga::RunCalibration back = vestiga::toRunCalibration(saved, view->imageHeight());
        QCOMPARE(back.cx, crop.x);
        QCOMPARE(back.cy, crop.y);
        QCOMPARE(back.cw, crop.width);
        QCOMPARE(back.ch, crop.height);
        QCOMPARE(back.hy, view->getHeadRec().y);

        const QString track = out_.filePath(QStringLiteral("app.track"));
        ask->answers << track;
        clickButton(app.skinBgWindow(), "begTrackButton");
        QVERIFY2(app.tracking(), qPrintable(ask->messages.join(QLatin1Char('\n'))));
        QCOMPARE(ask->titles.last(), QStringLiteral("fichier de suivi"));
        QVERIFY(app.trackingWindow()->isVisible());
        QCOMPARE(app.trackingWindow()->windowTitle(), QStringLiteral("oVideo"));
        QTRY_VERIFY_WITH_TIMEOUT(readAll(track).count('\n') >= 10, 60000);
        screenshot(app.trackingWindow(), "window-tracking.png");
        // The run ends by itself at the end of the video and says so.
        QVERIFY(ended.wait(600000) || ended.size() == 1);
        QVERIFY(!app.tracking());
        QVERIFY(ask->messages.last().startsWith(QStringLiteral("inform:Fin de la vidéo")));
        screenshot(app.trackingWindow(), "window-tracking-end.png");
        clickButton(app.trackingWindow(), "stopButton");
        QCOMPARE(quit.size(), 1);

#ifdef VESTIGA_TRACK_EXE
        // The command line with the saved calibration writes the same file.
        const QString cliTrack = out_.filePath(QStringLiteral("cli.track"));
        QProcess cli;
        cli.start(QStringLiteral(VESTIGA_TRACK_EXE),
                  {kSampleVideo, QStringLiteral("-o"), cliTrack, QStringLiteral("--calibration"), calib,
                   QStringLiteral("--quiet")});
        QVERIFY(cli.waitForFinished(600000));
        QVERIFY2(cli.exitCode() == 0, cli.readAllStandardError().constData());
        const QByteArray mine = readAll(track), theirs = readAll(cliTrack);
        QVERIFY(!mine.isEmpty());
        QCOMPARE(mine.count('\n'), theirs.count('\n'));
        QVERIFY(mine == theirs);
#else
        QSKIP("vestiga-track is not part of this build: no comparison with the command line");
#endif
    }

    void stopDuringTheRun()
    {
        if (!haveSample())
            QSKIP("the sample video is missing: build the `sample` target");
        auto* ask = new ScriptedPrompter;
        Interface app(ask);
        QSignalSpy quit(&app, &Interface::quitRequested);
        openSampleAt(app, ask, 0);
        clickCalibration(app.calibrationView(), sampleCalib_);
        clickButton(app.calibrationWindow(), "validateButton");
        // Short sleeves: only the elbow correction runs.
        QTest::mouseClick(app.skinBgWindow()->findChild<QWidget*>(QStringLiteral("sleeveShort")),
                          Qt::LeftButton);
        const QString track = out_.filePath(QStringLiteral("stopped.track"));
        ask->answers << track;
        clickButton(app.skinBgWindow(), "begTrackButton");
        QVERIFY(app.tracking());
        // The window answers between ticks: the stop button is clicked while
        // the run goes on.
        QTRY_VERIFY_WITH_TIMEOUT(readAll(track).count('\n') >= 3, 60000);
        clickButton(app.trackingWindow(), "stopButton");
        QCOMPARE(quit.size(), 1);
        QVERIFY(!app.tracking());
        const QByteArray lines = readAll(track);
        QTest::qWait(200);
        QCOMPARE(readAll(track), lines); // no tick after the stop
        // Every line whole: seven numbers with six decimals, each followed by a space.
        const QRegularExpression line(QStringLiteral("^(-?\\d+\\.\\d{6} ){7}$"));
        const QList<QByteArray> rows = lines.split('\n');
        QVERIFY(rows.size() >= 4);
        QVERIFY(rows.last().isEmpty());
        for (int i = 0; i + 1 < rows.size(); ++i)
            QVERIFY2(line.match(QString::fromLatin1(rows[i])).hasMatch(), rows[i].constData());
        // The run is started once per program.
        clickButton(app.skinBgWindow(), "begTrackButton");
        QVERIFY(!app.tracking());
    }

    void loadedCalibrationTracksLikeTheFile()
    {
        if (!haveSample())
            QSKIP("the sample video is missing: build the `sample` target");
        auto* ask = new ScriptedPrompter;
        Interface app(ask);
        openSampleAt(app, ask, 0);
        // A calibration file made on another frame: the view moves to it.
        vestiga::CalibrationFile c = sampleCalib_;
        c.referenceFrame = 2;
        c.sleevesToWrist = false;
        const QString path = out_.filePath(QStringLiteral("frame2.calib"));
        std::string error;
        QVERIFY(vestiga::writeCalibrationFile(path.toStdString(), c, &error));
        ask->answers << path;
        clickButton(app.calibrationWindow(), "loadCalibrationButton");
        QCOMPARE(ask->titles.last(), QStringLiteral("Charger un paramétrage"));
        QCOMPARE(app.referenceFrame(), int64_t(2));
        QCOMPARE(app.calibrationView()->state(), 6);
        const vestiga::RunCalibration expected = vestiga::toRunCalibration(c, app.referencePicture().rows);
        QCOMPARE(app.calibrationView()->getCropRec().y, expected.cy);
        QCOMPARE(app.calibrationView()->getDShould(), expected.dShould);
        clickButton(app.calibrationWindow(), "validateButton");
        QVERIFY(app.skinBgWindow()->isVisible());
        auto* shortSleeves = app.skinBgWindow()->findChild<QWidget*>(QStringLiteral("sleeveShort"));
        QVERIFY(shortSleeves && shortSleeves->property("checked").toBool());
        // Saving gives the same calibration back.
        const QString again = out_.filePath(QStringLiteral("again.calib"));
        ask->answers << again;
        clickButton(app.skinBgWindow(), "saveCalibrationButton");
        vestiga::CalibrationFile saved;
        QVERIFY(vestiga::readCalibrationFile(again.toStdString(), &saved, &error));
        const vestiga::RunCalibration r = vestiga::toRunCalibration(saved, app.referencePicture().rows);
        QCOMPARE(r.cx, expected.cx);
        QCOMPARE(r.cy, expected.cy);
        QCOMPARE(r.hh, expected.hh);
        QCOMPARE(r.dShould, expected.dShould);
        QCOMPARE(saved.referenceFrame, 2);
        QCOMPARE(saved.sleevesToWrist, false);
        // The classic method is the default and leaves the file as it was.
        QVERIFY(!readAll(again).contains("tracker"));

        // The robust method is saved in the calibration, and read back.
        auto* robust = app.skinBgWindow()->findChild<QWidget*>(QStringLiteral("trackerRobust"));
        QVERIFY(robust);
        QTest::mouseClick(robust, Qt::LeftButton);
        QVERIFY(robust->property("checked").toBool());
        screenshot(app.skinBgWindow(), "window-skin-background-robust.png");
        const QString robustPath = out_.filePath(QStringLiteral("robust.calib"));
        ask->answers << robustPath;
        clickButton(app.skinBgWindow(), "saveCalibrationButton");
        const QByteArray robustText = readAll(robustPath);
        QVERIFY(robustText.endsWith("\ntracker robust\n"));
        // Apart from that line the file is the classic one.
        QCOMPARE(robustText.left(robustText.size() - int(strlen("tracker robust\n"))), readAll(again));
        QVERIFY(vestiga::readCalibrationFile(robustPath.toStdString(), &saved, &error));
        QVERIFY(saved.tracker == vestiga::TrackerMethod::Robust);
        // Loading a classic calibration turns the choice back to classic,
        // loading the robust one to robust.
        auto* classic = app.skinBgWindow()->findChild<QWidget*>(QStringLiteral("trackerClassic"));
        ask->answers << again << robustPath;
        clickButton(app.calibrationWindow(), "loadCalibrationButton");
        QVERIFY(classic->property("checked").toBool());
        clickButton(app.calibrationWindow(), "loadCalibrationButton");
        QVERIFY(robust->property("checked").toBool());
    }

    void robustChoiceTracksLikeTheCommandLine()
    {
        if (!haveSample())
            QSKIP("the sample video is missing: build the `sample` target");
#ifdef VESTIGA_TRACK_EXE
        auto* ask = new ScriptedPrompter;
        Interface app(ask);
        QSignalSpy ended(&app, &Interface::trackingEnded);
        openSampleAt(app, ask, 0);
        // A classic calibration, then the robust method chosen in the window.
        const QString calib = out_.filePath(QStringLiteral("sample-classic.calib"));
        std::string error;
        QVERIFY(vestiga::writeCalibrationFile(calib.toStdString(), sampleCalib_, &error));
        ask->answers << calib;
        clickButton(app.calibrationWindow(), "loadCalibrationButton");
        clickButton(app.calibrationWindow(), "validateButton");
        QVERIFY(app.skinBgWindow()->isVisible());
        QTest::mouseClick(app.skinBgWindow()->findChild<QWidget*>(QStringLiteral("trackerRobust")), Qt::LeftButton);
        const QString track = out_.filePath(QStringLiteral("app-robust.track"));
        ask->answers << track;
        clickButton(app.skinBgWindow(), "begTrackButton");
        QVERIFY2(app.tracking(), qPrintable(ask->messages.join(QLatin1Char('\n'))));
        QVERIFY(ended.wait(600000) || ended.size() == 1);
        QVERIFY(!app.tracking());

        // The command line on the same classic file, with and without
        // --tracker robust: the window's file is the robust one.
        const auto runCli = [&](const QString& out, bool robust) {
            QStringList args = {kSampleVideo, QStringLiteral("-o"), out, QStringLiteral("--calibration"), calib,
                                QStringLiteral("--quiet")};
            if (robust)
                args << QStringLiteral("--tracker") << QStringLiteral("robust");
            QProcess cli;
            cli.start(QStringLiteral(VESTIGA_TRACK_EXE), args);
            return cli.waitForFinished(600000) && cli.exitCode() == 0;
        };
        const QString robustCli = out_.filePath(QStringLiteral("cli-robust.track"));
        const QString classicCli = out_.filePath(QStringLiteral("cli-classic.track"));
        QVERIFY(runCli(robustCli, true));
        QVERIFY(runCli(classicCli, false));
        const QByteArray mine = readAll(track);
        QVERIFY(!mine.isEmpty());
        QVERIFY(mine == readAll(robustCli));
        QVERIFY(mine != readAll(classicCli));
#else
        QSKIP("vestiga-track is not part of this build: no comparison with the command line");
#endif
    }

    void cameraWindowWithAStandInVideo()
    {
        if (!haveSample())
            QSKIP("the sample video is missing: build the `sample` target");
        auto* ask = new ScriptedPrompter;
        QString clipDir;
        {
            Interface app(ask);
            app.setCameraStandIn(kSampleVideo);
            clickButton(app.startWindow(), "webcamButton");
            QVERIFY(ask->messages.isEmpty());
            QCOMPARE(app.sourceMode(), 1);
            QVERIFY(app.cameraWindow()->isVisible());
            clipDir = app.clipDirectory();
            // The clip directory is the application's own.
            QVERIFY(!clipDir.isEmpty());
            QCOMPARE(QFileInfo(clipDir).permissions() & (QFile::ReadGroup | QFile::ReadOther |
                                                          QFile::WriteGroup | QFile::WriteOther),
                     QFileDevice::Permissions());
            auto* select = app.cameraWindow()->findChild<QPushButton*>(QStringLiteral("selectClipButton"));
            QVERIFY(!select->isEnabled()); // no clip yet

            clickButton(app.cameraWindow(), "captureButton");
            QVERIFY(app.capturing());
            // The window keeps working during the countdown.
            QTest::qWait(1200);
            auto* status = app.cameraWindow()->findChild<QLabel*>(QStringLiteral("captureStatus"));
            QVERIFY(status->text().contains(QStringLiteral("Enregistrement dans")));
            screenshot(app.cameraWindow(), "window-camera-countdown.png");
            QTRY_VERIFY_WITH_TIMEOUT(!app.capturing(), 10000);
            QVERIFY(app.clipView()->hasVideo());
            // Half a second of clip at 25 frames/s, however busy the machine.
            QCOMPARE(app.clipView()->frameCount(), int64_t(13));
            // Shown at its last frame.
            QCOMPARE(app.clipView()->currentFrameIndex(), app.clipView()->frameCount() - 1);
            QVERIFY(QFileInfo(app.clipView()->video()->path().c_str()).absolutePath() ==
                    QFileInfo(clipDir).absoluteFilePath());
            screenshot(app.cameraWindow(), "window-camera-clip.png");

            clickButton(app.cameraWindow(), "selectClipButton");
            QVERIFY(!app.cameraWindow()->isVisible());
            QVERIFY(app.calibrationWindow()->isVisible());
            QCOMPARE(app.referencePicture().cols, app.clipView()->video()->frameSize().width);

            // The proposal works on the recorded clip as on a video file.
            clickButton(app.calibrationWindow(), "proposeButton");
            QTRY_VERIFY_WITH_TIMEOUT(!app.proposing(), 30000);
            QCOMPARE(app.calibrationView()->state(), 6);
            QCOMPARE(app.calibrationView()->check(), QString());

            // Tracking in camera mode: both save dialogs, a line per tick timed
            // 40 ms apart, and the annotated pictures recorded.
            clickCalibration(app.calibrationView(), sampleCalib_);
            clickButton(app.calibrationWindow(), "validateButton");
            const QString track = out_.filePath(QStringLiteral("camera.track"));
            const QString video = out_.filePath(QStringLiteral("camera.avi"));
            ask->answers << track << video;
            clickButton(app.skinBgWindow(), "begTrackButton");
            QVERIFY2(app.tracking(), qPrintable(ask->messages.join(QLatin1Char('\n'))));
            QCOMPARE(ask->titles.mid(ask->titles.size() - 2),
                     QStringList({QStringLiteral("fichier de suivi"), QStringLiteral("fichier de video")}));
            QTRY_VERIFY_WITH_TIMEOUT(readAll(track).count('\n') >= 5, 60000);
            clickButton(app.trackingWindow(), "stopButton");
            const QList<QByteArray> rows = readAll(track).split('\n');
            for (int i = 0; i + 1 < rows.size(); ++i) {
                const QList<QByteArray> cols = rows[i].split(' ');
                QCOMPARE(cols.value(6), QByteArray::number(40.0 * (i + 1), 'f', 6));
            }
            QVERIFY(QFileInfo(video).size() > 0);
        }
        // The clip directory goes with the application.
        QVERIFY(!QFileInfo::exists(clipDir));
    }

    void proposedCalibrationPlacedAndValidated()
    {
        if (!haveSample())
            QSKIP("the sample video is missing: build the `sample` target");
        auto* ask = new ScriptedPrompter;
        Interface app(ask);
        const int refFrame = 3;
        openSampleAt(app, ask, refFrame);
        vestiga::ProposalOptions options;
        options.referenceFrame = refFrame;
        vestiga::Proposal expected;
        std::string why;
        QCOMPARE(int(vestiga::proposeFromVideo(kSampleVideo.toStdString(), options, &expected, &why)),
                 int(vestiga::ProposalStatus::Found));
        const vestiga::CalibrationFile& c = expected.calibration;
        const int rows = app.referencePicture().rows;
        const vestiga::RunCalibration r = vestiga::toRunCalibration(c, rows);
        MorphWin* view = app.calibrationView();
        QWidget* window = app.calibrationWindow();
        auto* propose = window->findChild<QPushButton*>(QStringLiteral("proposeButton"));
        auto* field = window->findChild<QLabel*>(QStringLiteral("instructionField"));
        auto* status = window->findChild<QLabel*>(QStringLiteral("calibrationStatus"));
        auto* skinBg = static_cast<vestiga::SkinBgWindow*>(app.skinBgWindow());
        // The opposite sleeve choice beforehand, so that carrying it over shows.
        skinBg->setSleevesToWrist(!c.sleevesToWrist);

        auto proposeAndWait = [&] {
            clickButton(window, "proposeButton");
            QTRY_VERIFY_WITH_TIMEOUT(!app.proposing(), 30000);
            QVERIFY(propose->isEnabled());
        };
        proposeAndWait();
        // The six points are the proposal's own numbers, not rounded to clicks.
        QCOMPARE(view->state(), 6);
        QCOMPARE(field->text(), MorphWin::instruction(6));
        QVERIFY(status->text().contains(QStringLiteral("Paramétrage proposé")));
        QCOMPARE(view->getCropRec().x, r.cx);
        QCOMPARE(view->getCropRec().y, r.cy);
        QCOMPARE(view->getCropRec().width, r.cw);
        QCOMPARE(view->getCropRec().height, r.ch);
        QCOMPARE(view->getHeadRec().x, r.hx);
        QCOMPARE(view->getHeadRec().y, r.hy);
        QCOMPARE(view->getHeadRec().width, r.hw);
        QCOMPARE(view->getHeadRec().height, r.hh);
        QCOMPARE(view->getDShould(), r.dShould);
        float right[2], left[2];
        view->getShoulders(right, left);
        QCOMPARE(right[0], float(c.shoulders[0]));
        QCOMPARE(right[1], float(rows - c.shoulders[1]));
        QCOMPARE(left[0], float(c.shoulders[2]));
        QCOMPARE(left[1], float(rows - c.shoulders[3]));
        QCOMPARE(skinBg->sleevesToWrist(), c.sleevesToWrist);
        // Drawn as after the clicks: the top edge of the image area and the
        // middle of the shoulder line in red.
        const QColor top = view->displayed().pixelColor(int(c.area[0] + c.area[2] / 2), int(c.area[1] + 1));
        const QColor line = view->displayed().pixelColor(int((c.shoulders[0] + c.shoulders[2]) / 2),
                                                         int((c.shoulders[1] + c.shoulders[3]) / 2));
        QCOMPARE(top, QColor(255, 0, 0));
        QCOMPARE(line, QColor(255, 0, 0));
        screenshot(window, "window-proposal.png");
        QVERIFY(ask->messages.isEmpty());

        // "Recommencer": the clicks start again; a second proposal places the
        // same points again.
        clickButton(window, "selectAgainButton");
        QCOMPARE(view->state(), 0);
        QCOMPARE(field->text(), MorphWin::instruction(0));
        proposeAndWait();
        QCOMPARE(view->state(), 6);
        QCOMPARE(view->getHeadRec().x, r.hx);

        // "Valider" leads on; the saved calibration is the command line's.
        clickButton(window, "validateButton");
        QVERIFY(app.skinBgWindow()->isVisible());
        const QString saved = out_.filePath(QStringLiteral("proposed.calib"));
        ask->answers << saved;
        clickButton(app.skinBgWindow(), "saveCalibrationButton");
        vestiga::CalibrationFile mine;
        QVERIFY2(vestiga::readCalibrationFile(saved.toStdString(), &mine, &why), why.c_str());
#ifdef VESTIGA_CALIBRATE_EXE
        const QString cli = out_.filePath(QStringLiteral("cli-proposed.calib"));
        QProcess tool;
        tool.start(QStringLiteral(VESTIGA_CALIBRATE_EXE),
                   {kSampleVideo, QStringLiteral("-o"), cli, QStringLiteral("--reference-frame"),
                    QString::number(refFrame)});
        QVERIFY(tool.waitForFinished(60000));
        QCOMPARE(tool.exitCode(), 0);
        vestiga::CalibrationFile theirs;
        QVERIFY2(vestiga::readCalibrationFile(cli.toStdString(), &theirs, &why), why.c_str());
#else
        const vestiga::CalibrationFile theirs = c;
#endif
        QCOMPARE(mine.referenceFrame, refFrame);
        QCOMPARE(theirs.referenceFrame, refFrame);
        QCOMPARE(mine.sleevesToWrist, theirs.sleevesToWrist);
        // The window keeps single precision, as clicks and loaded files do.
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(float(mine.area[i]), float(theirs.area[i]));
            QCOMPARE(float(mine.head[i]), float(theirs.head[i]));
            QVERIFY(std::abs(mine.shoulders[i] - theirs.shoulders[i]) < 1e-3);
        }
    }

    void noSignerNothingPlaced()
    {
        // A dark video: no signer can be found in it.
        const QString dark = out_.filePath(QStringLiteral("dark.avi"));
        {
            cv::VideoWriter w(dark.toStdString(), cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 25, cv::Size(320, 240));
            QVERIFY(w.isOpened());
            for (int i = 0; i < 12; ++i)
                w.write(cv::Mat(240, 320, CV_8UC3, cv::Scalar(6, 8, 10)));
        }
        auto* ask = new ScriptedPrompter;
        Interface app(ask);
        ask->answers << dark;
        clickButton(app.startWindow(), "videoFileButton");
        clickButton(app.frameWindow(), "selectPicButton");
        QVERIFY(app.calibrationWindow()->isVisible());
        clickButton(app.calibrationWindow(), "proposeButton");
        QTRY_VERIFY_WITH_TIMEOUT(!app.proposing(), 30000);
        QCOMPARE(app.calibrationView()->state(), 0);
        QCOMPARE(ask->messages.size(), 1);
        QVERIFY2(ask->messages[0].startsWith(QStringLiteral("alert:Aucun signeur trouvé sur l'image de référence.|")),
                 qPrintable(ask->messages[0]));
        QVERIFY(ask->messages[0].contains(QStringLiteral("too dark")));
        auto* status = app.calibrationWindow()->findChild<QLabel*>(QStringLiteral("calibrationStatus"));
        QVERIFY(status->text().startsWith(QStringLiteral("Aucun signeur trouvé")));
        // Validation still refuses: nothing was placed.
        clickButton(app.calibrationWindow(), "validateButton");
        QVERIFY(app.calibrationWindow()->isVisible());
    }
};

QTEST_MAIN(TestWorkflow)
#include "test_workflow.moc"
