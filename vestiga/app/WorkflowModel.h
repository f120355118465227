#pragma once
// What the user has chosen so far in the workflow: the source, the
// reference frame and the optional pictures. The windows show it; the
// controller changes it and hands it to the run.
#include <QString>

#include <opencv2/core.hpp>

#include <cstdint>

namespace vestiga {

struct WorkflowModel {
    enum class Source { VideoFile = 0, Camera = 1 };

    Source source = Source::VideoFile;
    QString videoFile;    // the video file (file mode)
    QString skinFile;     // empty: the centre of the head box
    QString bgFile;       // empty: the background computed from the picture
    QString trackingFile; // set when a run starts
    cv::Mat reference;    // the reference picture, blue-green-red
    int64_t referenceFrame = 0;

    // True when `path` names one of the run's inputs (the video, the skin or
    // the background picture): such a file must never be written.
    bool isInput(const QString& path) const;
};

} // namespace vestiga
