// vestiga-track: tracks the signer of a video file from a calibration and
// writes the tracking file (see TrackOptions.h for the options).
#include "TrackCommand.h"

#include <csignal>
#include <exception>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include <unistd.h>

int main(int argc, char** argv)
{
    // A file-size limit makes the write fail with EFBIG, handled like a full
    // disk (message, whole lines kept), instead of killing the process.
    std::signal(SIGXFSZ, SIG_IGN);
    try {
        std::vector<std::string> args(argv + 1, argv + argc);
        return vestiga::runTrackCommand(args, std::cerr, ::isatty(STDERR_FILENO) == 1, &std::cout);
    } catch (const std::bad_alloc&) {
        std::cerr << "vestiga-track: out of memory; the tracking file keeps the lines written before\n";
    } catch (const std::exception& e) {
        std::cerr << "vestiga-track: unexpected error: " << e.what() << "\n";
    }
    return vestiga::kTrackRunFailed;
}
