#include "CalibrateCommand.h"

#include "propose/Proposal.h"
#include "run/Calibration.h"

#include <CLI/CLI.hpp>
#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <ostream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vestiga {

namespace {

// True when both names lead to one existing file (or are the same text).
bool sameFile(const std::string& a, const std::string& b)
{
    if (a == b)
        return true;
    struct stat sa, sb;
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev
           && sa.st_ino == sb.st_ino;
}

// Writes bytes to a temporary file beside `path`, then renames it over: a
// failed write leaves any earlier file whole.
bool writeWhole(const std::string& path, const std::vector<uchar>& bytes, std::string* error)
{
    const std::string tmp = path + ".tmp" + std::to_string(::getpid());
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    auto fail = [&](const char* what) {
        *error = path + ": " + what + " (" + std::strerror(errno) + ")";
        if (fd >= 0) {
            ::close(fd);
            ::unlink(tmp.c_str());
        }
        return false;
    };
    if (fd < 0)
        return fail("cannot create the picture");
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return fail("cannot write the picture");
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0)
        return fail("cannot write the picture");
    ::close(fd);
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        *error = path + ": cannot replace the picture (" + std::strerror(errno) + ")";
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

} // namespace

int runCalibrateCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    CLI::App app("Proposes the calibration of a signer video (image area, head box, shoulders, sleeves) "
                 "from its reference frame and the first seconds after it.",
                 "vestiga-calibrate");
    std::string video, output, preview;
    int referenceFrame = 0;
    app.add_option("VIDEO", video, "the video of the signer")->required();
    app.add_option("-o,--output", output, "the calibration file to write (for vestiga-track --calibration)")
        ->required();
    app.add_option("--reference-frame", referenceFrame, "the frame the calibration is for (default 0)")
        ->check(CLI::Range(0, std::numeric_limits<int>::max()));
    app.add_option("--preview", preview, "a picture of the proposal drawn over the reference frame (.png, .jpg)");
    app.footer("Exit status: 0 a calibration was written; 1 no signer was found (no face, several faces, a frame\n"
               "too dark), nothing written; 2 bad usage or input, nothing written.");
    for (CLI::Option* o : app.get_options())
        o->multi_option_policy(CLI::MultiOptionPolicy::Throw);

    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return kCalibrateOk;
    } catch (const CLI::ParseError& e) {
        err << "vestiga-calibrate: " << e.what() << "\n" << app.help();
        return kCalibrateBadInput;
    }

    auto refuse = [&](const std::string& why) {
        err << "vestiga-calibrate: " << why << "\n";
        return kCalibrateBadInput;
    };
    if (output.empty())
        return refuse("-o: the file name is empty");
    if (sameFile(output, video))
        return refuse("-o " + output + " is the video itself; it would be overwritten");
    if (!preview.empty()) {
        if (sameFile(preview, video) || sameFile(preview, output))
            return refuse("--preview " + preview + " is the video or the calibration file; it would be overwritten");
        if (!cv::haveImageWriter(preview))
            return refuse("--preview " + preview + ": not a picture format that can be written (use .png or .jpg)");
    }

    ProposalOptions options;
    options.referenceFrame = referenceFrame;
    Proposal proposal;
    std::string why;
    const ProposalStatus status = proposeFromVideo(video, options, &proposal, &why);
    if (!proposal.note.empty())
        err << "vestiga-calibrate: " << proposal.note << "\n";
    if (status == ProposalStatus::BadInput)
        return refuse("video " + video + ": " + why);
    if (status == ProposalStatus::NoSigner) {
        err << "vestiga-calibrate: " << video << ": no signer found: " << why << "; nothing written\n";
        return kCalibrateNoSigner;
    }

    // The preview is encoded before anything is written, so that a picture
    // that cannot be made leaves no calibration behind either.
    std::vector<uchar> picture;
    if (!preview.empty()) {
        const std::string ext = preview.substr(std::min(preview.size(), preview.rfind('.')));
        if (!cv::imencode(ext, drawProposal(proposal), picture))
            return refuse("--preview " + preview + ": the picture cannot be encoded");
    }
    if (!writeCalibrationFile(output, proposal.calibration, &why))
        return refuse(why);
    if (!preview.empty() && !writeWhole(preview, picture, &why)) {
        err << "vestiga-calibrate: " << why << "; the calibration " << output << " was written\n";
        return kCalibrateBadInput;
    }
    err << "vestiga-calibrate: wrote " << output << ": " << describeProposal(proposal) << "\n";
    return kCalibrateOk;
}

} // namespace vestiga
