// gridmint-cli: see CommandLine.cpp for what it does.
#include "cli/Commands.h"
#include "image/Platform.h"

int main(int argc, char** argv)
{
    // A write beyond the file-size limit must fail with an error the batch
    // reports, not end the process half-way with a temporary file left.
    gridmint::platform::ignoreFileSizeSignal();
    return gridmint::cli::runCommandLine(argc, argv);
}
