// glyphora-render: makes the picture of one sign from a video and its tracking
// file with no window system, doing what a user does in the desktop
// application, in the same order: load, capture key frames, set the sign's
// boundaries, blend, set the arrow controls, draw the arrow view, save the
// picture (printing the tracking export) and the ".sgn" description.
//
// Exit status: 0 done (also -h / --help); 2 bad usage or input (nothing
// written); 1 failure during the run (also standard output that cannot be
// written, or memory exhausted).
#include "EafBatch.h"
#include "RenderOptions.h"
#include "RenderSign.h"

#include "base/Path.h"
#include "cli/Files.h"
#include "media/MovieTime.h"
#include "media/VideoFile.h"
#include "render/HeadlessGL.h"
#include "render/SignSession.h"

#include <cerrno>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
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

// Why NAME cannot take the picture and the description: a name of a folder,
// a missing folder, or an output that is one of the inputs.
std::string outputProblem(const RenderOptions& o)
{
    std::string why = cli::outputNameProblem(o.output);
    if (!why.empty())
        return "-o " + o.output + ": " + why;
    if (!base::isFolder(base::folderOf(o.output)))
        return "-o " + o.output + ": the folder of the output does not exist";
    const std::vector<std::string> outputs = {o.output + ".jpg", o.output + ".sgn"};
    for (const std::string& out : outputs) {
        why = cli::outputNameProblem(out);
        if (!why.empty())
            return "-o " + o.output + ": " + out + " " + why;
    }
    why = cli::outputOverInput(outputs, {o.video, o.tracking});
    return why.empty() ? why : "-o " + o.output + ": " + why;
}

// Standard output carries the tracking export: a write that failed (a full
// disk, a closed pipe) is a failure of the run, not a silent loss.
bool standardOutputFailed(std::string* why)
{
    if (std::fflush(stdout) == 0 && !std::ferror(stdout))
        return false;
    *why = std::string("standard output: the tracking export cannot be written (") + std::strerror(errno) + ")";
    return true;
}

int render(int argc, char** argv);

} // namespace

int main(int argc, char** argv)
{
    // A file-size limit makes a write fail with EFBIG, handled like a full
    // disk (message, temporary file removed), instead of killing the process.
    std::signal(SIGXFSZ, SIG_IGN);
    try {
        return render(argc, argv);
    } catch (const std::bad_alloc&) {
        return runError("out of memory");
    } catch (const std::exception& e) {
        return runError(std::string("unexpected error: ") + e.what());
    }
}

namespace {

int render(int argc, char** argv)
{
    RenderOptions o;
    std::string error;
    if (!parseRenderOptions(argc, argv, o, &error))
        return usageError(error);
    if (o.help) {
        std::fputs(renderUsage(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (!o.eaf.empty()) {
        const int status = runEafBatch(o, stderr, ::isatty(STDERR_FILENO) == 1);
        return status != 0 || !standardOutputFailed(&error) ? status : runError(error);
    }
    error = outputProblem(o);
    if (!error.empty())
        return inputError(error);

    SignSession session;
    if (!session.loadVideo(o.video, &error))
        return inputError("video " + error);
    if (!session.loadTracking(o.tracking, &error))
        return inputError(error);

    std::string why = checkSignTimes(session, o);
    if (why.empty())
        why = checkSignFramesDecode(o);
    if (!why.empty())
        return inputError(why);

    int width = 0, height = 0;
    why = pictureSize(session, o, &width, &height);
    if (!why.empty())
        return inputError(why);
    session.setPreviewSize(width, height);

    // The GL driver loads and compiles its drawing code on another core while
    // the key frames are decoded and blended.
    HeadlessGL gl;
    gl.createInBackground();

    if (!composeSign(session, o, &error))
        return runError(error);
    if (!gl.waitCreated(width, height, &error))
        return runError(error);
    const SignPattern::DrawStatus status = session.drawArrowView(width, height);
    const int lines = session.arrowView().end - session.arrowView().beg;
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

    for (int cell : o.configuration)
        session.setConfigurationCell(cell, true);
    std::string printed;
    const bool saved = session.saveSign(o.output, width, height, &printed, &error);
    std::fputs(printed.c_str(), stdout);
    if (!saved)
        return runError(error);
    if (standardOutputFailed(&error))
        return runError(error);
    return 0;
}

} // namespace
