#pragma once
// The window before the tracking: the optional skin and background pictures,
// the signer's sleeves, the tracking method, saving the calibration and
// starting the run.
#include "run/Calibration.h"

#include <QWidget>

class QButtonGroup;
class QLabel;

namespace vestiga {

class SkinBgWindow : public QWidget {
    Q_OBJECT
public:
    explicit SkinBgWindow(QWidget* parent = nullptr);

    // The chosen pictures by file name; an empty path shows what the run
    // uses instead.
    void showPictures(const QString& skinPath, const QString& bgPath);
    void setStatus(const QString& text);

    bool sleevesToWrist() const;
    void setSleevesToWrist(bool wrist);
    TrackerMethod tracker() const;
    void setTracker(TrackerMethod method);

signals:
    void loadSkinClicked();
    void clearSkinClicked();
    void loadBgClicked();
    void clearBgClicked();
    void saveCalibrationClicked();
    void startClicked();

private:
    QLabel* skinLabel_ = nullptr;
    QLabel* bgLabel_ = nullptr;
    QLabel* status_ = nullptr;
    QButtonGroup* sleeves_ = nullptr;
    QButtonGroup* tracker_ = nullptr;
};

} // namespace vestiga
