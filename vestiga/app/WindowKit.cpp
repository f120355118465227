#include "WindowKit.h"

#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

namespace vestiga::kit {

QLabel* heading(const QString& text)
{
    auto* label = new QLabel(text);
    QFont f = label->font();
    f.setPointSizeF(f.pointSizeF() * 1.35);
    f.setBold(true);
    label->setFont(f);
    return label;
}

QLabel* note(const QString& text)
{
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    return label;
}

QPushButton* button(const QString& text, const char* objectName)
{
    auto* b = new QPushButton(text);
    b->setObjectName(QString::fromLatin1(objectName));
    return b;
}

void present(QWidget* window)
{
    window->show();
    window->raise();
    window->activateWindow();
}

QImage toQImage(const cv::Mat& bgr)
{
    if (bgr.empty() || bgr.type() != CV_8UC3)
        return QImage();
    return QImage(bgr.data, bgr.cols, bgr.rows, int(bgr.step), QImage::Format_BGR888).copy();
}

bool samePath(const QString& a, const QString& b)
{
    if (a.isEmpty() || b.isEmpty())
        return false;
    const QFileInfo fa(a), fb(b);
    if (fa.exists() && fb.exists())
        return fa.canonicalFilePath() == fb.canonicalFilePath();
    return fa.absoluteFilePath() == fb.absoluteFilePath();
}

} // namespace vestiga::kit
