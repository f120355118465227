#include "Prompter.h"

#include <QFileDialog>
#include <QMessageBox>

namespace vestiga {

namespace {

// A file dialog of Qt's own (the same on every desktop) with French labels.
// Returns the chosen path, or an empty string when the user cancels.
QString runFileDialog(QWidget* parent, const QString& title, const QString& filter,
                      QFileDialog::AcceptMode mode, const QString& acceptText, const QString& defaultSuffix)
{
    QFileDialog dialog(parent, title);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    if (!filter.isEmpty())
        dialog.setNameFilters({filter, QStringLiteral("Tous les fichiers (*)")});
    if (!defaultSuffix.isEmpty())
        dialog.setDefaultSuffix(defaultSuffix);
    dialog.setLabelText(QFileDialog::Accept, acceptText);
    dialog.setLabelText(QFileDialog::Reject, QStringLiteral("Annuler"));
    dialog.setLabelText(QFileDialog::LookIn, QStringLiteral("Dossier :"));
    dialog.setLabelText(QFileDialog::FileName, QStringLiteral("Fichier :"));
    dialog.setLabelText(QFileDialog::FileType, QStringLiteral("Type :"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}

} // namespace

QString Prompter::openFile(QWidget* parent, const QString& title, const QString& filter)
{
    return runFileDialog(parent, title, filter, QFileDialog::AcceptOpen, QStringLiteral("Ouvrir"), QString());
}

QString Prompter::saveFile(QWidget* parent, const QString& title, const QString& filter,
                           const QString& defaultSuffix)
{
    return runFileDialog(parent, title, filter, QFileDialog::AcceptSave, QStringLiteral("Enregistrer"),
                         defaultSuffix);
}

namespace {

void message(QWidget* parent, QMessageBox::Icon icon, const QString& text, const QString& details)
{
    QMessageBox box(icon, QStringLiteral("vestiga"), text, QMessageBox::NoButton, parent);
    box.setInformativeText(details);
    // Wide enough for a sentence or a path on a line.
    box.setStyleSheet(QStringLiteral("QLabel#qt_msgbox_label, QLabel#qt_msgbox_informativelabel { min-width: 340px; }"));
    QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.exec();
}

} // namespace

void Prompter::alert(QWidget* parent, const QString& text, const QString& details)
{
    message(parent, QMessageBox::Warning, text, details);
}

void Prompter::inform(QWidget* parent, const QString& text, const QString& details)
{
    message(parent, QMessageBox::Information, text, details);
}

} // namespace vestiga
