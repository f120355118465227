#pragma once
// The calibration-proposal command line, kept out of main() so that tests can
// drive it in process.
//
//   vestiga-calibrate VIDEO -o FILE.calib [--reference-frame N] [--preview PICTURE.png]
//
// Exit status: 0 a calibration was proposed and written; 1 no signer was found
// (no face, several faces, a frame too dark), nothing written; 2 bad usage or
// input, nothing written.
#include <iosfwd>
#include <string>
#include <vector>

namespace vestiga {

enum CalibrateExit { kCalibrateOk = 0, kCalibrateNoSigner = 1, kCalibrateBadInput = 2 };

int runCalibrateCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace vestiga
