// vestiga-calibrate: proposes the calibration of a signer video from the video
// itself (see CalibrateCommand.h).
#include "CalibrateCommand.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    return vestiga::runCalibrateCommand(args, std::cout, std::cerr);
}
