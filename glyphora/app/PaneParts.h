#pragma once
// Small building blocks shared by the step panes of the sign-picture window.
#include <QString>

class QLabel;
class QWidget;

namespace pane {

// The bold, larger title of a step pane.
QLabel* title(const QString& text, QWidget* parent);
// A wrapped explanation in the disabled text colour.
QLabel* hint(const QString& text, QWidget* parent);
// A view under a bold caption, in a box of its own.
QWidget* captioned(const QString& caption, QWidget* view, QWidget* parent);

} // namespace pane
