// vestiga-track: tracks the signer of a video file from a calibration and
// writes the tracking file (see TrackCommand.h for the options).
#include "TrackCommand.h"

#include <iostream>
#include <string>
#include <vector>

#include <unistd.h>

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    return vestiga::runTrackCommand(args, std::cerr, ::isatty(STDERR_FILENO) == 1);
}
