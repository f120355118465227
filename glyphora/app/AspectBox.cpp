#include "AspectBox.h"

#include <QResizeEvent>

#include <algorithm>

AspectBox::AspectBox(QWidget* child, QWidget* parent) : QWidget(parent), child_(child)
{
    child_->setParent(this);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void AspectBox::setAspect(double aspect)
{
    aspect_ = aspect;
    place();
}

QSize AspectBox::sizeHint() const
{
    return QSize(400, aspect_ > 0 ? int(400 / aspect_) : 300);
}

QSize AspectBox::minimumSizeHint() const
{
    return child_->minimumSize().expandedTo(QSize(80, 60));
}

void AspectBox::resizeEvent(QResizeEvent*)
{
    place();
}

void AspectBox::place()
{
    QSize s = size();
    if (aspect_ > 0) {
        const int w = std::min(s.width(), int(s.height() * aspect_ + 0.5));
        const int h = std::min(s.height(), int(w / aspect_ + 0.5));
        s = QSize(w, h);
    }
    // A child with a fixed size keeps it.
    s = s.expandedTo(child_->minimumSize()).boundedTo(child_->maximumSize());
    child_->setGeometry((width() - s.width()) / 2, (height() - s.height()) / 2, s.width(), s.height());
}
