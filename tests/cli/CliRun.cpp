#include "CliRun.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace gridmint::testing {

namespace fs = std::filesystem;

std::string slurp(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

CliResult cli(const std::string& args, const fs::path& cwd, const std::string& limits)
{
    const fs::path out = cwd / ".stdout";
    const fs::path err = cwd / ".stderr";
    // Absolute, drive letter included: the command runs in another folder.
    const fs::path program = fs::absolute(GRIDMINT_CLI);
    CliResult r;
#ifdef _WIN32
    (void)limits;
    const std::u8string command = u8"cd /d \"" + cwd.u8string() + u8"\" && \"" +
                                  program.u8string() + u8"\" " +
                                  std::u8string(args.begin(), args.end()) + u8" >\"" +
                                  out.u8string() + u8"\" 2>\"" + err.u8string() + u8"\"";
    // The wide call: the narrow one would pass the command through the ANSI
    // code page, which cannot hold every file name.
    // -1 means the command interpreter itself did not start, which Wine
    // does now and then on a busy machine; the program never ran, so try
    // again rather than report its outcome.
    for (int attempt = 0; attempt < 3; ++attempt) {
        r.status = _wsystem(fs::path(command).c_str());
        if (r.status != -1)
            break;
    }
#else
    const std::string command = "cd '" + cwd.string() + "' && " + limits + " && '" +
                                program.string() + "' " + args + " >'" + out.string() + "' 2>'" +
                                err.string() + "'";
    const int rc = std::system(command.c_str());
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
#endif
    r.out = slurp(out);
    r.err = slurp(err);
    fs::remove(out);
    fs::remove(err);
#ifdef _WIN32
    // Text mode ends lines with CR LF, and paths print with backslashes.
    for (std::string* text : {&r.out, &r.err}) {
        std::erase(*text, '\r');
        std::replace(text->begin(), text->end(), '\\', '/');
    }
#endif
    return r;
}

} // namespace gridmint::testing
