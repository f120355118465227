#pragma once
// The calibration proposed for the reference frame the user chose, worked out
// off the GUI thread. proposeForReference is the plain function (the same
// proposal as the command line's, on the chosen frame of the chosen video or
// camera clip); ProposalTask runs it on a worker thread and reports on the
// thread that started it, so the window stays responsive meanwhile.
#include "propose/Proposal.h"

#include <QObject>
#include <QString>

#include <opencv2/core.hpp>

#include <memory>
#include <string>

class QThread;

namespace vestiga {

struct ProposalRequest {
    std::string video;      // the video file or the camera clip
    int referenceFrame = 0; // the frame the window shows
    cv::Size pictureSize;   // the size of the picture the window shows
};

struct ProposalOutcome {
    ProposalRequest request;
    ProposalStatus status = ProposalStatus::BadInput;
    Proposal proposal;   // valid when status is Found
    std::string message; // why nothing was proposed, in the proposal's words
};

// The proposal for the request, with default options but the reference
// frame. A frame whose size differs from the shown picture's is refused as
// bad input: the points would not fit the picture.
ProposalOutcome proposeForReference(const ProposalRequest& request);

// What the calibration window says of an outcome, in French: the status
// line, and for a refusal the message box's title and details.
struct ProposalTexts {
    QString status;
    QString title;
    QString details;
};
ProposalTexts proposalTexts(const ProposalOutcome& outcome);

class ProposalTask : public QObject {
    Q_OBJECT
public:
    explicit ProposalTask(QObject* parent = nullptr);
    // Waits for a proposal under way: the worker holds no Qt object, so this
    // only blocks for what is left of its fraction of a second.
    ~ProposalTask() override;

    // Starts the proposal on a worker thread; false (nothing started) while
    // one is under way.
    bool start(const ProposalRequest& request);
    bool running() const { return thread_ != nullptr; }
    // The last finished proposal.
    const ProposalOutcome& outcome() const { return outcome_; }

signals:
    // Emitted on the starting thread once the outcome is ready.
    void finished();

private:
    void collect();

    std::unique_ptr<QThread> thread_;
    ProposalOutcome pending_; // written by the worker only while it runs
    ProposalOutcome outcome_;
};

} // namespace vestiga
