#pragma once
// Small pieces shared by the workflow windows: the heading and note labels,
// named push buttons, bringing a window to the front, and the turn of an
// OpenCV picture into a QImage.
#include <QImage>
#include <QString>

#include <opencv2/core.hpp>

class QLabel;
class QPushButton;
class QWidget;

namespace vestiga::kit {

// A bold heading, 1.35 times the normal size.
QLabel* heading(const QString& text);
// A paragraph that wraps.
QLabel* note(const QString& text);
// A push button with an object name the tests find it by.
QPushButton* button(const QString& text, const char* objectName);
// Shows the window, raises it and gives it the focus.
void present(QWidget* window);
// A copy of an 8-bit blue-green-red picture; a null image for anything else.
QImage toQImage(const cv::Mat& bgr);
// True when both paths name one file (the same canonical path when both
// exist, the same absolute path otherwise). Empty paths never match.
bool samePath(const QString& a, const QString& b);

} // namespace vestiga::kit
