#include "PaneParts.h"

#include <QLabel>
#include <QVBoxLayout>

namespace pane {

QLabel* title(const QString& text, QWidget* parent)
{
    auto* l = new QLabel(text, parent);
    QFont f = l->font();
    f.setPointSizeF(f.pointSizeF() * 1.25);
    f.setBold(true);
    l->setFont(f);
    return l;
}

QLabel* hint(const QString& text, QWidget* parent)
{
    auto* l = new QLabel(text, parent);
    l->setWordWrap(true);
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, p.color(QPalette::Disabled, QPalette::WindowText));
    l->setPalette(p);
    return l;
}

QWidget* captioned(const QString& caption, QWidget* view, QWidget* parent)
{
    auto* box = new QWidget(parent);
    auto* v = new QVBoxLayout(box);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(3);
    auto* l = new QLabel(caption, box);
    QFont f = l->font();
    f.setBold(true);
    l->setFont(f);
    v->addWidget(l);
    v->addWidget(view, 1);
    return box;
}

} // namespace pane
