#include "CalibrateCommand.h"

#include "propose/Proposal.h"
#include "run/Calibration.h"

#include "base/ReplaceFile.h"
#include "cli/Files.h"
#include "cli/Options.h"
#include "cli/Quote.h"

#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <limits>
#include <ostream>

namespace vestiga {

namespace {

const char* calibrateUsage()
{
    return "usage: vestiga-calibrate VIDEO -o FILE.calib [--reference-frame N] [--preview PICTURE.png]\n"
           "Proposes the calibration of a signer video (image area, head box, shoulders, sleeves) from its\n"
           "reference frame (default 0) and the first seconds after it; --preview draws the proposal over\n"
           "the reference frame (.png, .jpg).\n"
           "Exit status: 0 a calibration was written; 1 no signer was found (no face, several faces, a frame\n"
           "too dark), nothing written; 2 bad usage or input, nothing written.\n";
}

} // namespace

int runCalibrateCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    std::vector<std::string> positional;
    std::string output, preview;
    int referenceFrame = 0;
    cli::Options opts("vestiga-calibrate", calibrateUsage());
    opts.text("-o,--output", &output);
    opts.integer("--reference-frame", &referenceFrame, 0, std::numeric_limits<int>::max());
    opts.text("--preview", &preview);
    opts.positionals(&positional);
    std::string parseError;
    const int parsed = cli::finishParse(opts, opts.parse(args, &parseError), parseError, out, err);
    if (parsed >= 0)
        return parsed;

    auto refuse = [&](const std::string& why) {
        err << "vestiga-calibrate: " << why << "\n";
        return kCalibrateBadInput;
    };
    if (positional.size() != 1)
        return refuse(positional.empty() ? "a VIDEO is required" : "unexpected argument " + cli::quote(positional[1]));
    const std::string& video = positional[0];
    if (output.empty())
        return refuse("-o FILE.calib is required");
    std::string problem = cli::outputNameProblem(output);
    if (!problem.empty())
        return refuse("-o " + cli::quote(output) + ": " + problem);
    problem = cli::outputOverInput({output}, {video});
    if (!problem.empty())
        return refuse("-o " + cli::quote(output) + ": " + problem);
    if (!preview.empty()) {
        problem = cli::outputNameProblem(preview);
        if (problem.empty())
            problem = cli::outputOverInput({preview}, {video, output});
        if (problem.empty() && cli::sameFile(preview, output))
            problem = "is also the calibration file -o";
        if (!problem.empty())
            return refuse("--preview " + cli::quote(preview) + ": " + problem);
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
    if (!preview.empty() && !base::replaceFile(preview, picture.data(), picture.size(), &why)) {
        err << "vestiga-calibrate: " << preview << ": " << why << "; the calibration " << output << " was written\n";
        return cli::kExitFailed;
    }
    err << "vestiga-calibrate: wrote " << output << ": " << describeProposal(proposal) << "\n";
    return kCalibrateOk;
}

} // namespace vestiga
