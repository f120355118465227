// vestiga-export: the tracking file as a CSV time series, optionally linked
// into an annotation document (see ExportCommand.h).
#include "ExportCommand.h"

#include <iostream>
#include <new>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    try {
        return vestiga::runExportCommand(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
    } catch (const std::bad_alloc&) {
        std::cerr << "vestiga-export: out of memory\n";
        return 1;
    } catch (const std::exception& e) {
        std::cerr << "vestiga-export: " << e.what() << "\n";
        return 1;
    }
}
