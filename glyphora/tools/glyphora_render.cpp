// glyphora-render: makes the picture of one sign from a video and its tracking
// file with no window system, doing what a user does in the desktop
// application, in the same order: load, capture key frames, set the sign's
// boundaries, blend, set the arrow controls, draw the arrow view, save the
// picture (printing the tracking export) and the ".sgn" description.
//
// Exit status: 0 done; 2 bad usage or input (nothing written); 1 failure
// during the run.
#include "EafBatch.h"
#include "RenderOptions.h"
#include "RenderSign.h"

#include "media/MovieTime.h"
#include "render/HeadlessGL.h"
#include "render/SignSession.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <string>

using namespace glyphora;

namespace {

int usageError(const std::string& why)
{
    if (!why.empty())
        std::fprintf(stderr, "glyphora-render: %s\n", why.c_str());
    std::fputs(renderUsage(), stderr);
    return 2;
}

int inputError(const std::string& why)
{
    std::fprintf(stderr, "glyphora-render: %s\n", why.c_str());
    return 2;
}

int runError(const std::string& why)
{
    std::fprintf(stderr, "glyphora-render: %s\n", why.c_str());
    return 1;
}

bool folderExists(const std::string& name)
{
    const size_t slash = name.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : name.substr(0, slash));
    struct stat st;
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

int main(int argc, char** argv)
{
    RenderOptions o;
    std::string error;
    if (!parseRenderOptions(argc, argv, o, &error))
        return usageError(error);
    if (!o.eaf.empty())
        return runEafBatch(o, stderr, ::isatty(STDERR_FILENO) == 1);
    if (!folderExists(o.output))
        return inputError("-o " + o.output + ": the folder of the output does not exist");

    SignSession session;
    if (!session.loadVideo(o.video, &error))
        return inputError("video " + error);
    if (!session.loadTracking(o.tracking, &error))
        return inputError("tracking " + error);

    const std::string why = checkSignTimes(session, o);
    if (!why.empty())
        return inputError(why);

    const cv::Size frame = session.frameSize();
    const int width = o.width > 0 ? o.width : frame.width;
    const int height = o.height > 0 ? o.height : frame.height;
    if (width < 4 || height < 1)
        return inputError("the picture size " + std::to_string(width) + "x" + std::to_string(height) +
                          " is too small (at least 4x1)");
    session.setPreviewSize(width, height);

    HeadlessGL gl;
    if (!gl.create(width, height, &error))
        return runError(error);

    SignPattern::DrawStatus status = SignPattern::kDrawn;
    if (!composeSign(session, o, width, height, status, &error))
        return runError(error);
    const int lines = session.preview.end - session.preview.beg;
    switch (status) {
    case SignPattern::kDrawn:
        break;
    case SignPattern::kBadLength:
        std::fprintf(stderr,
                     "glyphora-render: warning: the sign spans %d tracking lines (1 to %d can be drawn): "
                     "the picture is saved without arrows\n",
                     lines, SignPattern::kMaxDuration);
        break;
    case SignPattern::kOutsideTracking:
    case SignPattern::kNoTracking:
        std::fprintf(stderr, "glyphora-render: warning: the sign's lines lie outside the tracking: "
                             "the picture is saved without arrows\n");
        break;
    case SignPattern::kUnknownPattern:
        std::fprintf(stderr, "glyphora-render: warning: unknown movement pattern: no arrows drawn\n");
        break;
    }

    session.printTrackingExport();
    if (!session.saveGL(o.output, width, height, &error))
        return runError(error);
    for (int cell : o.configuration)
        session.setConfigurationCell(cell, true);
    if (!session.saveDescr(&error))
        return runError(error);
    return 0;
}
