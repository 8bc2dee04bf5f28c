// KXRUN.PIF: the helper the console program runner starts. It reads the control file named on
// its command line, runs the command of line 3 in the folder of line 2 and leaves the command's
// exit status on line 2.
#include "host/sysutils.h"
#include "kxrun/kxrun.h"

#include <exception>
#include <iostream>

int main(int argc, char** argv) {
    kestrel::SetCommandLine(argc, argv);
    if (argc != 2) {
        std::cerr << "Usage: " << kestrel::RunnerHelperName << " CONTROL-FILE\n";
        return 2;
    }
    try {
        kestrel::RunControlFile(argv[1]);
        return 0;
    } catch (const std::exception& E) {
        std::cerr << kestrel::RunnerHelperName << ": " << E.what() << "\n";
        return 2;
    }
}
