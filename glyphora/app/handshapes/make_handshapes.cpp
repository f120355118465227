// Draws the handshape pictograms that the configuration window offers, one
// PNG per handshape, into the folder given on the command line. Run at build
// time; the pictures are our own drawings (a palm, fingers and a thumb as
// rounded strokes), so the set can be extended here.
//
//   glyphora-handshapes OUTPUT_DIR
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int kSize = 140;            // pixels; the grid cell is 70 points
const QColor kSkin(0xf2, 0xc0, 0x94); // fill of the hand
const QColor kLine(0x4a, 0x32, 0x24); // outline of the hand
const QColor kPaper(0xfc, 0xfc, 0xfa);

// A hand is a set of strokes (poly-lines with a width), drawn twice: first
// wide in the outline colour, then narrower in the skin colour, so that the
// parts merge into one outlined silhouette.
struct Stroke {
    std::vector<QPointF> points;
    double width;
};

struct Hand {
    std::vector<Stroke> strokes;
    std::vector<QRectF> palms;  // rounded rectangles
    std::vector<Stroke> creases; // thin lines drawn over the fill
    std::vector<Stroke> front;   // parts lying in front of the palm (a folded thumb)

    void add(std::vector<QPointF> pts, double w) { strokes.push_back({std::move(pts), w}); }
};

// Finger bases on the top edge of the palm (index to little finger) and the
// length of each finger when extended.
const double kFingerX[4] = {52, 64, 76, 88};
const double kFingerLen[4] = {36, 41, 37, 29};
const double kFingerW[4] = {11.5, 12, 11.5, 10.5};
const double kPalmTop = 60;

QRectF palmRect() { return QRectF(45, kPalmTop - 4, 50, 50); }

void extended(Hand& h, int f, double spread = 0)
{
    const QPointF base(kFingerX[f], kPalmTop);
    const double rad = spread * 3.14159265358979 / 180.0;
    const QPointF tip(base.x() + kFingerLen[f] * std::sin(rad), base.y() - kFingerLen[f] * std::cos(rad));
    h.add({base, tip}, kFingerW[f]);
}

void folded(Hand& h, int f)
{
    // A folded finger shows only its knuckle above the palm.
    h.add({QPointF(kFingerX[f], kPalmTop + 2), QPointF(kFingerX[f], kPalmTop - 5)}, kFingerW[f]);
    h.creases.push_back({{QPointF(kFingerX[f] - 4, kPalmTop + 6), QPointF(kFingerX[f] + 4, kPalmTop + 6)}, 1.2});
}

void bent(Hand& h, int f)
{
    // A claw finger: up, then hooked towards the viewer (foreshortened).
    const double x = kFingerX[f];
    const double up = kFingerLen[f] * 0.55;
    h.add({QPointF(x, kPalmTop), QPointF(x, kPalmTop - up), QPointF(x + 3, kPalmTop - up - 4), QPointF(x + 7, kPalmTop - up + 8)}, kFingerW[f]);
    h.creases.push_back({{QPointF(x - 3, kPalmTop - up + 2), QPointF(x + 4, kPalmTop - up + 2)}, 1.2});
}

void thumbOut(Hand& h, double angleDeg, double len = 30)
{
    const QPointF base(47, kPalmTop + 30);
    const double rad = angleDeg * 3.14159265358979 / 180.0;
    const QPointF mid(base.x() - 0.5 * len * std::sin(rad), base.y() - 0.5 * len * std::cos(rad));
    const QPointF tip(base.x() - len * std::sin(rad), base.y() - len * std::cos(rad));
    h.add({base, mid, tip}, 13);
}

void thumbAcross(Hand& h)
{
    h.front.push_back({{QPointF(44, kPalmTop + 32), QPointF(56, kPalmTop + 19), QPointF(78, kPalmTop + 17)}, 12});
}

void thumbUp(Hand& h)
{
    h.add({QPointF(47, kPalmTop + 28), QPointF(40, kPalmTop + 4), QPointF(40, kPalmTop - 24)}, 13);
}

void drawHand(QPainter& p, const Hand& h)
{
    auto drawAll = [&](const QColor& c, double extra) {
        for (const QRectF& r : h.palms) {
            p.setPen(QPen(c, extra, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.setBrush(c);
            p.drawRoundedRect(r, 12, 12);
        }
        for (const Stroke& s : h.strokes) {
            p.setPen(QPen(c, s.width + extra, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.setBrush(Qt::NoBrush);
            p.drawPolyline(s.points.data(), int(s.points.size()));
        }
    };
    drawAll(kLine, 5.0);
    drawAll(kSkin, 0.01);
    for (const Stroke& s : h.creases) {
        p.setPen(QPen(kLine, s.width, Qt::SolidLine, Qt::RoundCap));
        p.drawPolyline(s.points.data(), int(s.points.size()));
    }
    for (const Stroke& s : h.front) {
        p.setPen(QPen(kLine, s.width + 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(s.points.data(), int(s.points.size()));
        p.setPen(QPen(kSkin, s.width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(s.points.data(), int(s.points.size()));
    }
}

// Side views for the curved shapes: a thick arc, open or closed.
void drawCurve(QPainter& p, double openDeg, double thickness)
{
    const QRectF box(38, 26, 64, 70);
    const int start = int(openDeg / 2 * 16);
    const int span = int((360 - openDeg) * 16);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kLine, thickness + 5, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(box, start, span);
    p.setPen(QPen(kSkin, thickness, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(box, start, span);
    // The wrist below the curve.
    p.setPen(QPen(kLine, 22 + 5, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(52, 110), QPointF(52, 96));
    p.setPen(QPen(kSkin, 22, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(52, 112), QPointF(52, 93));
}

struct Shape {
    const char* file;
    const char* label;
    std::function<void(QPainter&)> draw;
};

Hand withPalm()
{
    Hand h;
    h.palms.push_back(palmRect());
    h.add({QPointF(70, 104), QPointF(70, 116)}, 30); // wrist
    return h;
}

std::vector<Shape> shapes()
{
    return {
        {"01_main_plate", "main plate",
         [](QPainter& p) { Hand h = withPalm(); for (int f = 0; f < 4; ++f) extended(h, f); thumbAcross(h); drawHand(p, h); }},
        {"02_main_ouverte", "main ouverte",
         [](QPainter& p) { Hand h = withPalm(); for (int f = 0; f < 4; ++f) extended(h, f, -18 + 12 * f); thumbOut(h, 55); drawHand(p, h); }},
        {"03_poing", "poing",
         [](QPainter& p) { Hand h = withPalm(); for (int f = 0; f < 4; ++f) folded(h, f); thumbAcross(h); drawHand(p, h); }},
        {"04_index", "index",
         [](QPainter& p) { Hand h = withPalm(); extended(h, 0); for (int f = 1; f < 4; ++f) folded(h, f); thumbAcross(h); drawHand(p, h); }},
        {"05_v", "V",
         [](QPainter& p) { Hand h = withPalm(); extended(h, 0, -12); extended(h, 1, 10); folded(h, 2); folded(h, 3); thumbAcross(h); drawHand(p, h); }},
        {"06_trois", "trois",
         [](QPainter& p) { Hand h = withPalm(); extended(h, 0, -8); extended(h, 1, 8); folded(h, 2); folded(h, 3); thumbOut(h, 50); drawHand(p, h); }},
        {"07_pouce_leve", "pouce levé",
         [](QPainter& p) { Hand h = withPalm(); for (int f = 0; f < 4; ++f) folded(h, f); thumbUp(h); drawHand(p, h); }},
        {"08_l", "L",
         [](QPainter& p) { Hand h = withPalm(); extended(h, 0); for (int f = 1; f < 4; ++f) folded(h, f); thumbOut(h, 85, 32); drawHand(p, h); }},
        {"09_y", "Y",
         [](QPainter& p) { Hand h = withPalm(); for (int f = 0; f < 3; ++f) folded(h, f); extended(h, 3, 22); thumbOut(h, 70, 32); drawHand(p, h); }},
        {"10_griffe", "griffe",
         [](QPainter& p) { Hand h = withPalm(); for (int f = 0; f < 4; ++f) bent(h, f); thumbOut(h, 45, 24); drawHand(p, h); }},
        {"11_c", "C",
         [](QPainter& p) { drawCurve(p, 80, 16); }},
        {"12_o", "O",
         [](QPainter& p) { drawCurve(p, 8, 16); }},
        {"13_pince", "pince",
         [](QPainter& p) {
             Hand h = withPalm();
             h.add({QPointF(kFingerX[0], kPalmTop), QPointF(kFingerX[0] - 3, kPalmTop - 20), QPointF(40, kPalmTop - 26)}, 11);
             for (int f = 1; f < 4; ++f) extended(h, f, 4 * f);
             h.add({QPointF(47, kPalmTop + 30), QPointF(30, kPalmTop + 4), QPointF(36, kPalmTop - 20)}, 12);
             drawHand(p, h);
         }},
        {"14_pouce_index", "bec",
         [](QPainter& p) {
             Hand h = withPalm();
             for (int f = 0; f < 4; ++f)
                 h.add({QPointF(kFingerX[f], kPalmTop), QPointF(kFingerX[f] - 2 * f, kPalmTop - 20),
                        QPointF(62 - f, kPalmTop - 30 + 2 * f)}, kFingerW[f] - 1);
             h.add({QPointF(47, kPalmTop + 30), QPointF(36, kPalmTop + 2), QPointF(56, kPalmTop - 26)}, 12);
             drawHand(p, h);
         }},
    };
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
        return 2;
    }
    // Only pictures are painted: no display is needed.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString dir = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(dir)) {
        std::fprintf(stderr, "cannot create the folder %s\n", argv[1]);
        return 1;
    }
    QFont font("DejaVu Sans");
    font.setPixelSize(15);
    for (const Shape& s : shapes()) {
        QImage img(kSize, kSize, QImage::Format_ARGB32);
        img.fill(Qt::transparent);
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(0xc8, 0xc8, 0xc8), 2));
        p.setBrush(kPaper);
        p.drawRoundedRect(QRectF(1, 1, kSize - 2, kSize - 2), 14, 14);
        p.save();
        // The hand takes the upper part of the tile, above its label.
        p.translate(kSize / 2.0, 4);
        p.scale(0.8, 0.8);
        p.translate(-kSize / 2.0, 0);
        s.draw(p);
        p.restore();
        p.setFont(font);
        p.setPen(QColor(0x30, 0x30, 0x30));
        p.drawText(QRectF(0, kSize - 28, kSize, 24), Qt::AlignHCenter | Qt::AlignVCenter,
                   QString::fromUtf8(s.label));
        p.end();
        const QString path = dir + "/" + s.file + ".png";
        if (!img.save(path, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
