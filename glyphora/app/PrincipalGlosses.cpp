// The controller's part for annotation documents: the document action, the
// dock listing the gloss tier's annotations, and a chosen annotation made the
// sign's boundaries and the picture's suggested name.
#include "EafBatch.h"
#include "GlossPane.h"
#include "MoviePane.h"
#include "Principal.h"

#include "qtmedia/MovieView.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QDockWidget>
#include <QFileInfo>
#include <QListWidget>
#include <QMenu>
#include <QStyle>
#include <QToolBar>

namespace {

// "1:02.345": minutes, seconds and milliseconds of a time in milliseconds.
QString timeText(int64_t ms)
{
    const bool negative = ms < 0;
    const int64_t a = negative ? -ms : ms;
    return QString("%1%2:%3.%4")
        .arg(negative ? "-" : "")
        .arg(a / 60000)
        .arg((a / 1000) % 60, 2, 10, QChar('0'))
        .arg(a % 1000, 3, 10, QChar('0'));
}

} // namespace

void Principal::buildGlossPane(QMenu* file, QToolBar* tools)
{
    auto* open = new QAction(style()->standardIcon(QStyle::SP_FileDialogDetailedView),
                             tr("Ouvrir un document &ELAN…"), this);
    open->setShortcut(QKeySequence(tr("Ctrl+E")));
    connect(open, &QAction::triggered, this, &Principal::loadDocument);
    // In the menu with the other openings, before the first separator.
    QAction* before = nullptr;
    for (QAction* a : file->actions())
        if (a->isSeparator()) {
            before = a;
            break;
        }
    file->insertAction(before, open);
    tools->addAction(open);

    glossPane_ = new GlossPane(this);
    glossDock_ = new QDockWidget(tr("Annotations"), this);
    glossDock_->setObjectName("glosses");
    glossDock_->setWidget(glossPane_);
    // Not closable: the list stays at hand for the next sign of the document.
    glossDock_->setFeatures(QDockWidget::DockWidgetMovable);
    addDockWidget(Qt::LeftDockWidgetArea, glossDock_);
    glossDock_->hide(); // shown with the first document
    connect(glossPane_, &GlossPane::tierChosen, this, &Principal::chooseTier);
    connect(glossPane_, &GlossPane::annotationChosen, this, &Principal::chooseAnnotation);
}

void Principal::loadDocument()
{
    const QString path = openChooser_(tr("ouvrir le document ELAN"));
    if (path.isEmpty())
        return;
    openDocument(path);
}

bool Principal::openDocument(const QString& path)
{
    // Read aside first, so that a document that cannot be read leaves the one
    // shown as it was.
    glyphora::GlossList next;
    std::string error;
    if (!next.load(path.toStdString(), &error)) {
        showMessage(tr("Le document ELAN %1 n'a pas été lu : il est illisible ou mal formé.\n(%2)")
                        .arg(QFileInfo(path).fileName(), QString::fromStdString(error)));
        return false;
    }
    // An empty default tier is reported below; the user then picks another.
    const std::string tier = next.defaultTier();
    const bool emptyDefault = !tier.empty() && !next.chooseTier(tier);
    if (next.tierNames().empty()) {
        showMessage(tr("Le document ELAN %1 n'a aucun niveau.").arg(QFileInfo(path).fileName()));
        return false;
    }
    glosses_ = std::move(next);

    QStringList tiers;
    for (const std::string& t : glosses_.tierNames())
        tiers << QString::fromStdString(t);
    glossPane_->showDocument(QFileInfo(path).fileName(), tiers, QString::fromStdString(glosses_.tier()));
    showGlossEntries();
    glossDock_->show();
    if (emptyDefault)
        showMessage(tr("Le niveau « %1 » du document %2 n'a aucune annotation : choisissez le niveau des gloses.")
                        .arg(QString::fromStdString(tier), QFileInfo(path).fileName()));
    else if (glosses_.tier().empty())
        showMessage(tr("Document ELAN ouvert : %1. Choisissez le niveau des gloses.").arg(QFileInfo(path).fileName()),
                    false);
    else
        showMessage(tr("Document ELAN ouvert : %1 (niveau « %2 », %3 annotations)")
                        .arg(QFileInfo(path).fileName(), QString::fromStdString(glosses_.tier()))
                        .arg(glosses_.entries().size()),
                    false);
    return true;
}

bool Principal::chooseTier(const QString& tier)
{
    bool empty = false;
    if (!glosses_.chooseTier(tier.toStdString(), &empty)) {
        showMessage(empty ? tr("Le niveau « %1 » n'a aucune annotation.").arg(tier)
                          : tr("Le document n'a pas de niveau « %1 ».").arg(tier));
        glossPane_->showTier(QString::fromStdString(glosses_.tier())); // back to the tier shown
        return false;
    }
    showGlossEntries();
    return true;
}

void Principal::showGlossEntries()
{
    QStringList lines;
    for (const glyphora::GlossEntry& e : glosses_.entries()) {
        const QString gloss = QString::fromStdString(e.gloss);
        lines << (e.problem.empty() ? tr("%1   %2 – %3").arg(gloss, timeText(e.beginMs), timeText(e.endMs))
                                    : tr("%1   (sans temps)").arg(gloss));
    }
    glossPane_->showEntries(lines);
}

bool Principal::chooseAnnotation(int row)
{
    if (!session_.hasVideo()) {
        showMessage(tr("Ouvrez d'abord la vidéo du document."));
        return false;
    }
    const auto& entries = glosses_.entries();
    if (row < 0 || size_t(row) >= entries.size())
        return false;
    const glyphora::GlossEntry& e = entries[size_t(row)];
    const QString gloss = QString::fromStdString(e.gloss);
    media::MovieTime begin, end;
    using Refusal = glyphora::GlossList::Refusal;
    switch (glosses_.span(row, session_.duration(), &begin, &end)) {
    case Refusal::None: break;
    case Refusal::NoEntry: return false;
    case Refusal::Untimed:
        showMessage(tr("L'annotation « %1 » n'a pas de temps : %2").arg(gloss, QString::fromStdString(e.problem)));
        return false;
    case Refusal::Reversed:
        showMessage(tr("L'annotation « %1 » finit avant de commencer (%2 – %3).")
                        .arg(gloss, timeText(e.beginMs), timeText(e.endMs)));
        return false;
    case Refusal::OutsideVideo:
        showMessage(tr("L'annotation « %1 » (%2 – %3) est hors de la vidéo, qui dure %4.")
                        .arg(gloss, timeText(e.beginMs), timeText(e.endMs),
                             timeText(int64_t(session_.duration().seconds() * 1000.0 + 0.5))));
        return false;
    }
    // As "Début du signe ici" and "Fin du signe ici" at those times; the main
    // movie goes to the sign's begin.
    session_.setBoundaries(begin, end);
    pushTimesToViews();
    movies_->mainMovie()->setCurrentTime(begin);

    const QString folder = QFileInfo(QString::fromStdString(session_.videoFile())).absolutePath();
    suggestedSave_ = QDir(folder).filePath(QString::fromStdString(glyphora::safeGlossName(e.gloss)));
    showMessage(tr("Signe « %1 » : %2 – %3").arg(gloss, timeText(e.beginMs), timeText(e.endMs)), false);
    return true;
}
