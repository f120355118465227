#pragma once
// The questions the workflow asks the user: file dialogs and message boxes.
// The controller asks through this class so that tests can answer in place of
// the user; a normal run uses the real dialogs.
#include <QString>

class QWidget;

namespace vestiga {

class Prompter {
public:
    virtual ~Prompter() = default;
    // A modal open dialog for one existing file, titled `title`, whose accept
    // button reads "Ouvrir". An empty string when cancelled.
    virtual QString openFile(QWidget* parent, const QString& title, const QString& filter);
    // A modal save dialog titled `title` (asks before replacing a file). An
    // empty string when cancelled.
    virtual QString saveFile(QWidget* parent, const QString& title, const QString& filter,
                             const QString& defaultSuffix);
    // A modal warning with the single button "OK".
    virtual void alert(QWidget* parent, const QString& message, const QString& details);
    // A modal information with the single button "OK".
    virtual void inform(QWidget* parent, const QString& message, const QString& details);
};

} // namespace vestiga
