// gridmint-cli: see CommandLine.cpp for what it does.
#include "cli/Commands.h"
#include "image/Platform.h"

#include <string>
#include <vector>

int main(int argc, char** argv)
{
    // A write beyond the file-size limit must fail with an error the batch
    // reports, not end the process half-way with a temporary file left.
    gridmint::platform::ignoreFileSizeSignal();
    // The memory budget of parallel files is half the address-space limit;
    // per-thread allocator arenas would take much of the other half.
    gridmint::platform::fitAllocatorToAddressLimit();
    // File names reach the commands as UTF-8 on every platform.
    const std::vector<std::string> args = gridmint::platform::utf8Arguments(argc, argv);
    std::vector<const char*> pointers;
    pointers.reserve(args.size());
    for (const std::string& arg : args)
        pointers.push_back(arg.c_str());
    return gridmint::cli::runCommandLine(static_cast<int>(pointers.size()), pointers.data());
}
