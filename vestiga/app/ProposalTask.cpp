#include "ProposalTask.h"

#include <QThread>

#include <utility>

namespace vestiga {

ProposalOutcome proposeForReference(const ProposalRequest& request)
{
    ProposalOutcome o;
    o.request = request;
    ProposalOptions options;
    options.referenceFrame = request.referenceFrame;
    o.status = proposeFromVideo(request.video, options, &o.proposal, &o.message);
    if (o.status == ProposalStatus::Found && o.proposal.reference.size() != request.pictureSize) {
        o.status = ProposalStatus::BadInput;
        o.message = "the frame read from the video does not have the size of the picture shown";
        o.proposal = Proposal();
    }
    return o;
}

ProposalTexts proposalTexts(const ProposalOutcome& o)
{
    ProposalTexts t;
    switch (o.status) {
    case ProposalStatus::Found:
        // A note says the stock face detector could not be used.
        t.status = QStringLiteral("Paramétrage proposé (image n° %1)%2 : validez-le, ou recommencez les clics "
                                  "pour le corriger.")
                       .arg(o.request.referenceFrame)
                       .arg(o.proposal.note.empty()
                                ? QString()
                                : QStringLiteral(" (visage cherché par la couleur de la peau seulement)"));
        return t;
    case ProposalStatus::NoSigner:
        t.title = QStringLiteral("Aucun signeur trouvé sur l'image de référence.");
        t.details = QStringLiteral("Il faut un seul visage, bien éclairé, face à la caméra : choisissez une autre "
                                   "image ou placez les six points à la main.\n");
        break;
    case ProposalStatus::BadInput:
        t.title = QStringLiteral("Le paramétrage ne peut pas être proposé.");
        break;
    }
    t.status = t.title + QStringLiteral(" Placez les six points à la main.");
    t.details += QStringLiteral("Détail : %1").arg(QString::fromStdString(o.message));
    return t;
}

ProposalTask::ProposalTask(QObject* parent) : QObject(parent) {}

ProposalTask::~ProposalTask()
{
    if (thread_)
        thread_->wait();
}

bool ProposalTask::start(const ProposalRequest& request)
{
    if (thread_)
        return false;
    thread_.reset(QThread::create([this, request] { pending_ = proposeForReference(request); }));
    // QThread::finished is emitted on the worker; the context object makes
    // the call queued to this object's thread.
    connect(thread_.get(), &QThread::finished, this, &ProposalTask::collect, Qt::QueuedConnection);
    thread_->start();
    return true;
}

void ProposalTask::collect()
{
    if (!thread_)
        return;
    thread_->wait(); // returns at once: the thread has finished
    thread_.reset();
    outcome_ = std::move(pending_);
    pending_ = ProposalOutcome();
    emit finished();
}

} // namespace vestiga
