#pragma once
// The annotation side of the sign-picture window: the open document's name,
// the choice of its gloss tier and the list of the tier's annotations (gloss,
// begin and end). It only shows what it is told and emits the user's choices.
#include <QWidget>

class QComboBox;
class QLabel;
class QListWidget;

class GlossPane : public QWidget {
    Q_OBJECT
public:
    explicit GlossPane(QWidget* parent = nullptr);

    QComboBox* tierBox() const { return tiers_; }
    QListWidget* list() const { return list_; }
    QLabel* documentLabel() const { return document_; }

    // A document's file name and tiers, with `current` chosen (none when empty).
    void showDocument(const QString& name, const QStringList& tiers, const QString& current);
    // The tier shown as chosen, without emitting tierChosen.
    void showTier(const QString& tier);
    // One line per annotation; the list's selection is cleared.
    void showEntries(const QStringList& lines);

signals:
    void tierChosen(const QString& tier);
    void annotationChosen(int row);

private:
    QLabel* document_ = nullptr;
    QComboBox* tiers_ = nullptr;
    QListWidget* list_ = nullptr;
};
