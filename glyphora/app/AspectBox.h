#pragma once
// Holds one child widget at the largest size of a given aspect ratio that fits,
// centred, so that the picture views show frames undistorted whatever room the
// layout gives them.
#include <QWidget>

class AspectBox : public QWidget {
    Q_OBJECT
public:
    explicit AspectBox(QWidget* child, QWidget* parent = nullptr);
    // Width over height; 0 lets the child fill the box.
    void setAspect(double aspect);
    double aspect() const { return aspect_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent*) override;

private:
    void place();
    QWidget* child_;
    double aspect_ = 4.0 / 3.0;
};
