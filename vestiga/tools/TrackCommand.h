#pragma once
// The tracking command (options in TrackOptions.h), kept out of main() so
// that tests can drive it in process.
//
// --calibration auto proposes the calibration from the video (see
// propose/Proposal.h) and says so on the error stream; a video where no signer
// is found ends the command with status 1, nothing written.
//
// Exit status: 0 success; 2 bad usage or bad input found before the run (no
// tracking file created or changed; also an output that is one of the
// inputs); 1 failure during the run, also a video that ends before its stated
// length (the lines written so far are kept).
#include "TrackOptions.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace vestiga {

enum TrackExit { kTrackOk = 0, kTrackRunFailed = 1, kTrackBadInput = 2 };

// The whole command. Messages go to `err`; progress too when `progress` is
// true (standard error is a terminal) and --quiet was not given; the --help
// text goes to `out` (to `err` when `out` is null). Returns the exit status.
int runTrackCommand(const std::vector<std::string>& args, std::ostream& err, bool progress,
                    std::ostream* out = nullptr);

} // namespace vestiga
