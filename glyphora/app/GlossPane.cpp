#include "GlossPane.h"

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QSignalBlocker>
#include <QVBoxLayout>

GlossPane::GlossPane(QWidget* parent) : QWidget(parent)
{
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(6, 6, 6, 6);
    document_ = new QLabel(tr("Aucun document"), this);
    document_->setWordWrap(true);
    tiers_ = new QComboBox(this);
    tiers_->setPlaceholderText(tr("Choisissez le niveau des gloses"));
    list_ = new QListWidget(this);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    v->addWidget(document_);
    v->addWidget(new QLabel(tr("Niveau :"), this));
    v->addWidget(tiers_);
    v->addWidget(list_, 1);

    connect(tiers_, &QComboBox::activated, this, [this](int i) {
        if (i >= 0)
            emit tierChosen(tiers_->itemText(i));
    });
    // A click or Enter on a line chooses it (also the line already selected).
    connect(list_, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        emit annotationChosen(list_->row(item));
    });
    connect(list_, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        emit annotationChosen(list_->row(item));
    });
}

void GlossPane::showDocument(const QString& name, const QStringList& tiers, const QString& current)
{
    document_->setText(name);
    const QSignalBlocker block(tiers_);
    tiers_->clear();
    tiers_->addItems(tiers);
    showTier(current);
}

void GlossPane::showTier(const QString& tier)
{
    const QSignalBlocker block(tiers_);
    tiers_->setCurrentIndex(tier.isEmpty() ? -1 : tiers_->findText(tier));
}

void GlossPane::showEntries(const QStringList& lines)
{
    list_->clear();
    list_->addItems(lines);
}
