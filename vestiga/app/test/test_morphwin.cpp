// The calibration view: its conversions on known numbers, and six real clicks
// on a window of known size, in both click orders.
#include "MorphMath.h"
#include "MorphWin.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTest>

#include <opencv2/core.hpp>

#include <cmath>

using vestiga::MorphWin;
using vestiga::PicRect;
using vestiga::ViewFrame;

namespace {

// A picture whose pixels are never pure red, so the drawn marks can be told
// apart from it.
cv::Mat referencePicture(int w, int h)
{
    cv::Mat m(h, w, CV_8UC3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            m.at<cv::Vec3b>(y, x) = cv::Vec3b(uchar(100 + x % 50), uchar(80 + y % 60), uchar(40));
    return m;
}

bool isRed(const QImage& img, int x, int y)
{
    const QColor c = img.pixelColor(x, y);
    return c.red() == 255 && c.green() == 0 && c.blue() == 0;
}

// A window of `winW` x `winH` holding the view of `viewW` x `viewH` with its
// top-left corner at (left, top), and an instruction line.
struct Host {
    QWidget window;
    MorphWin* view;
    QLabel* field;
    int winH;

    Host(int winW, int winH_, QRect viewRect, const cv::Mat& picture) : winH(winH_)
    {
        window.setFixedSize(winW, winH);
        field = new QLabel(&window);
        field->setGeometry(0, 0, winW, 20);
        view = new MorphWin(&window);
        view->setGeometry(viewRect);
        view->setRefImage(picture);
        view->setInstructionField(field);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        view->getBound();
        view->reset();
    }

    // A click at window coordinates (x, y), origin at the bottom-left corner.
    void click(int x, int y)
    {
        const QPoint topLeft = view->mapTo(&window, QPoint(0, 0));
        const QPoint local(x - topLeft.x(), winH - 1 - y - topLeft.y());
        QTest::mouseClick(view, Qt::LeftButton, {}, local);
    }
};

} // namespace

class TestMorphWin : public QObject {
    Q_OBJECT
private slots:
    void rectangleConversion()
    {
        const ViewFrame v{0, 0, 320, 240};
        const int a[2] = {10, 200}, b[2] = {110, 50};
        const PicRect r = vestiga::rectFromClicks(a, b, v, 640, 480);
        QCOMPARE(r.x, 20.f);
        QCOMPARE(r.y, 100.f);
        QCOMPARE(r.width, 200.f);
        QCOMPARE(r.height, 300.f);
        // Any two opposite corners, in any order, span the same rectangle.
        const int c[2] = {10, 50}, d[2] = {110, 200};
        for (auto [p, q] : {std::pair{b, a}, std::pair{c, d}, std::pair{d, c}}) {
            const PicRect s = vestiga::rectFromClicks(p, q, v, 640, 480);
            QCOMPARE(s.x, r.x);
            QCOMPARE(s.y, r.y);
            QCOMPARE(s.width, r.width);
            QCOMPARE(s.height, r.height);
        }
    }

    void sizesTruncateAndPositionsNarrow()
    {
        // 300 view points for 640 pixels: sizes are whole numbers truncated
        // toward zero, positions double quotients narrowed to single precision.
        const ViewFrame v{5, 7, 300, 300};
        const int a[2] = {12, 8}, b[2] = {19, 9};
        const PicRect r = vestiga::rectFromClicks(a, b, v, 640, 640);
        QCOMPARE(r.width, 14.f);                       // 7 * 640 / 300 = 14.93
        QCOMPARE(r.height, 2.f);                       // 1 * 640 / 300 = 2.13
        QCOMPARE(r.x, float(7.0 * 640.0 / 300.0));     // 14.9333...
        QCOMPARE(r.y, float(1.0 * 640.0 / 300.0));     // 2.1333...
        float p[2];
        vestiga::pointToPicture(a, v, 640, 640, p);
        QCOMPARE(p[0], 14.f);
        QCOMPARE(p[1], 2.f);
    }

    void shoulderDistance()
    {
        const ViewFrame same{0, 0, 640, 480};
        const int r[2] = {100, 100}, l[2] = {130, 140};
        QCOMPARE(vestiga::shoulderDistance(r, l, same, 640, 480), 50.f);
        // Each squared term is scaled with two truncating divisions:
        // a = (640 * ((30*30*640) / 320)) / 320 = 3600, b = (480 * ((40*40*480)/240))/240 = 6400.
        const ViewFrame half{0, 0, 320, 240};
        QCOMPARE(vestiga::shoulderDistance(r, l, half, 640, 480), 100.f);
        // A wide picture and clicks 1500 points apart: the products leave the
        // 32-bit range and must not wrap.
        const ViewFrame hd{0, 0, 1920, 1080};
        const int wr[2] = {100, 10}, wl[2] = {1600, 10};
        QCOMPARE(vestiga::shoulderDistance(wr, wl, hd, 1920, 1080), 1500.f);
    }

    void clickOnTheView()
    {
        // The view's right and top edges are outside it.
        const int on[2] = {0, 0}, right[2] = {320, 10}, top[2] = {10, 240}, below[2] = {10, -1};
        const ViewFrame v{0, 0, 320, 240};
        QVERIFY(vestiga::clickOnView(on, v));
        QVERIFY(!vestiga::clickOnView(right, v));
        QVERIFY(!vestiga::clickOnView(top, v));
        QVERIFY(!vestiga::clickOnView(below, v));
    }

    void sixClicksOnAWindow_data()
    {
        QTest::addColumn<QRect>("viewRect");
        QTest::addColumn<int>("winW");
        QTest::addColumn<int>("winH");
        QTest::addColumn<bool>("reversed");
        // View at the window's bottom-left corner: ox = oy = 0.
        QTest::newRow("corner, in order") << QRect(0, 60, 320, 240) << 320 << 300 << false;
        QTest::newRow("corner, opposite corners") << QRect(0, 60, 320, 240) << 320 << 300 << true;
        // View inside the window: ox = 30, oy = 400 - (50 + 240) = 110.
        QTest::newRow("inside, in order") << QRect(30, 50, 320, 240) << 500 << 400 << false;
        QTest::newRow("inside, opposite corners") << QRect(30, 50, 320, 240) << 500 << 400 << true;
    }

    void sixClicksOnAWindow()
    {
        QFETCH(QRect, viewRect);
        QFETCH(int, winW);
        QFETCH(int, winH);
        QFETCH(bool, reversed);
        Host host(winW, winH, viewRect, referencePicture(640, 480));
        MorphWin& view = *host.view;
        const int ox = viewRect.x(), oy = winH - viewRect.bottom() - 1;
        QCOMPARE(view.frame().ox, ox);
        QCOMPARE(view.frame().oy, oy);
        QCOMPARE(view.frame().width, 320);
        QCOMPARE(view.frame().height, 240);
        QCOMPARE(host.field->text(), MorphWin::instruction(0));
        QCOMPARE(host.field->text(), QStringLiteral("Cliquer sur le coin supérieur gauche de l'image à traiter"));

        // Image area: window points (10, 200) and (110, 50) from the view's
        // corner; head box (60, 150)-(90, 110); shoulders (50, 100), (80, 140).
        const int area[2][2] = {{10, 200}, {110, 50}};
        const int headBox[2][2] = {{90, 150}, {60, 110}};
        const int first = reversed ? 1 : 0, second = reversed ? 0 : 1;
        const QImage before = view.displayed();
        host.click(ox + area[first][0], oy + area[first][1]);
        QCOMPARE(host.field->text(), MorphWin::instruction(1));
        QVERIFY(!isRed(view.displayed(), 20, 200)); // nothing drawn after one click
        host.click(ox + area[second][0], oy + area[second][1]);
        QCOMPARE(host.field->text(), QStringLiteral("Cliquer sur le coin supérieur droit de la tête"));
        // Image area x 20, y 100, 200 x 300 (bottom-left origin), i.e. rows
        // 80 to 380 from the top: its left edge is drawn, its inside is not.
        QVERIFY(isRed(view.displayed(), 20, 200));
        QVERIFY(!isRed(view.displayed(), 120, 200));
        QCOMPARE(view.displayed().pixel(120, 200), before.pixel(120, 200));
        host.click(ox + headBox[first][0], oy + headBox[first][1]);
        QVERIFY(!isRed(view.displayed(), 120, 200));
        host.click(ox + headBox[second][0], oy + headBox[second][1]);
        QCOMPARE(host.field->text(), QStringLiteral("Cliquer sur l'épaule droite"));
        // Head box x 120, y 220, 60 x 80: rows 180 to 260 from the top.
        QVERIFY(isRed(view.displayed(), 120, 200));
        host.click(ox + 50, oy + 100);
        QCOMPARE(host.field->text(), QStringLiteral("Cliquer sur l'épaule gauche"));
        host.click(ox + 80, oy + 140);
        QCOMPARE(host.field->text(), QStringLiteral("Valider ou reprendre le paramétrage"));
        QCOMPARE(view.state(), 6);
        // The shoulder line from (100, 200) to (160, 280) in picture pixels,
        // rows 280 to 200 from the top: its midpoint (130, 240).
        QVERIFY(isRed(view.displayed(), 130, 240));

        const PicRect crop = view.getCropRec();
        QCOMPARE(crop.x, 20.f);
        QCOMPARE(crop.y, 100.f);
        QCOMPARE(crop.width, 200.f);
        QCOMPARE(crop.height, 300.f);
        const PicRect head = view.getHeadRec();
        QCOMPARE(head.x, 120.f);
        QCOMPARE(head.y, 220.f);
        QCOMPARE(head.width, 60.f);
        QCOMPARE(head.height, 80.f);
        QCOMPARE(view.getDShould(), 100.f); // 30, 40 points = 60, 80 pixels
        // These numbers make an area taller than wide, which tracking refuses.
        QVERIFY(view.check().contains(QStringLiteral("plus haute que large")));

        // A seventh click stores nothing and leaves the last instruction.
        host.click(ox + 300, oy + 5);
        QCOMPARE(view.state(), 7);
        QCOMPARE(host.field->text(), QStringLiteral("Valider ou reprendre le paramétrage"));
        QCOMPARE(view.getCropRec().width, 200.f);
        QCOMPARE(view.getDShould(), 100.f);

        if (!reversed && ox == 0)
            QVERIFY(host.window.grab().save(QStringLiteral(TEST_BINARY_DIR "/morphwin-six-clicks.png")));

        // reset: first instruction again, marks gone, clicks kept.
        view.reset();
        QCOMPARE(view.state(), 0);
        QCOMPARE(host.field->text(), MorphWin::instruction(0));
        QVERIFY(!isRed(view.displayed(), 20, 200));
        QCOMPARE(view.getHeadRec().x, 120.f);
    }

    void refusedCalibrations()
    {
        Host host(320, 300, QRect(0, 60, 320, 240), referencePicture(640, 480));
        MorphWin& view = *host.view;
        auto sixClicks = [&](std::initializer_list<QPoint> pts) {
            view.reset();
            for (QPoint p : pts)
                host.click(p.x(), p.y());
        };
        // Not finished.
        sixClicks({{10, 200}, {110, 50}});
        QVERIFY(view.check().contains(QStringLiteral("pas terminé")));
        // The area's width taken for a height: taller than wide.
        sixClicks({{10, 230}, {110, 10}, {70, 150}, {40, 110}, {50, 100}, {80, 140}});
        QVERIFY(view.check().contains(QStringLiteral("plus haute que large")));
        // Head box beyond the area's right edge.
        sixClicks({{10, 200}, {200, 50}, {230, 150}, {180, 110}, {50, 100}, {80, 140}});
        QVERIFY(view.check().contains(QStringLiteral("tête")));
        // A click delivered outside the picture (left of it).
        view.reset();
        QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(-5, 40));
        for (QPoint p : {QPoint(110, 50), QPoint(90, 150), QPoint(60, 110), QPoint(50, 100), QPoint(80, 140)})
            host.click(p.x(), p.y());
        QVERIFY(view.check().contains(QStringLiteral("en dehors de l'image")));
        // Both shoulders on one point.
        sixClicks({{10, 200}, {200, 50}, {90, 150}, {60, 110}, {50, 100}, {50, 100}});
        QVERIFY(view.check().contains(QStringLiteral("épaules sont confondues")));
        // A wider area with the same head and shoulders: accepted.
        sixClicks({{10, 200}, {200, 50}, {90, 150}, {60, 110}, {50, 100}, {80, 140}});
        QCOMPARE(view.check(), QString());
    }

    void placedPointsActAsClicks()
    {
        // The view inside the window (ox = 30), the picture stretched by 2.
        Host host(500, 400, QRect(30, 50, 320, 240), referencePicture(640, 480));
        MorphWin& view = *host.view;
        QSignalSpy states(&view, &MorphWin::stateChanged);
        // Top-left picture pixels: image area (20, 80)-(420, 380), head box
        // corners (240, 100) and (180, 180), shoulders (150, 220), (290, 220).
        const double points[6][2] = {{20, 80}, {420, 380}, {240, 100}, {180, 180}, {150, 220}, {290, 220}};
        view.placePicturePoints(points);
        QCOMPARE(states.size(), 6);
        QCOMPARE(view.state(), 6);
        QCOMPARE(host.field->text(), MorphWin::instruction(6));
        QCOMPARE(view.check(), QString());
        // Bottom-left picture rectangles, to the 2-pixel step of a click.
        const PicRect crop = view.getCropRec();
        QVERIFY(std::abs(crop.x - 20) <= 2 && std::abs(crop.y - 100) <= 2);
        QVERIFY(std::abs(crop.width - 400) <= 2 && std::abs(crop.height - 300) <= 2);
        const PicRect head = view.getHeadRec();
        QVERIFY(std::abs(head.x - 180) <= 2 && std::abs(head.y - 300) <= 2);
        QVERIFY(std::abs(view.getDShould() - 140) <= 2);
        // The points are marked on the picture as after six clicks.
        QVERIFY(isRed(view.displayed(), 20, 200));
    }

    void calibrationFromAFile()
    {
        Host host(320, 300, QRect(0, 60, 320, 240), referencePicture(640, 480));
        MorphWin& view = *host.view;
        vestiga::RunCalibration r;
        r.cx = 20.5f, r.cy = 100.25f, r.cw = 400, r.ch = 300;
        r.hx = 150, r.hy = 250, r.hw = 60, r.hh = 80;
        r.dShould = 123.456f;
        const float sr[2] = {200, 300}, sl[2] = {320, 300};
        view.setCalibration(r, sr, sl);
        QCOMPARE(view.state(), 6);
        QCOMPARE(host.field->text(), MorphWin::instruction(6));
        QCOMPARE(view.getCropRec().x, 20.5f);
        QCOMPARE(view.getCropRec().y, 100.25f);
        QCOMPARE(view.getDShould(), 123.456f);
        QCOMPARE(view.check(), QString());
        QVERIFY(isRed(view.displayed(), 260, 180)); // the shoulder line, row 480 - 300
        // Validation resets the state but keeps the calibration.
        view.reset();
        QCOMPARE(view.state(), 0);
        QCOMPARE(view.getHeadRec().x, 150.f);
        // A new first click goes back to clicks.
        host.click(10, 200);
        QVERIFY(!view.fromFile());
        QCOMPARE(view.getHeadRec().x, 0.f);
    }
};

QTEST_MAIN(TestMorphWin)
#include "test_morphwin.moc"
