// Runs the real gridmint-cli binary, as a user's shell would.
#pragma once

#include <filesystem>
#include <string>

namespace gridmint::testing {

struct CliResult {
    int status = -1;
    std::string out;
    std::string err;
};

// The whole file as bytes ("" when it cannot be read).
std::string slurp(const std::filesystem::path& file);

// Runs gridmint-cli with `args` (UTF-8 words without quotes or spaces) in
// `cwd`. On Windows its output is given with LF line ends and forward
// slashes, so expectations are written once for both systems. `limits` is
// a POSIX shell command run first in the same shell, such as
// "ulimit -v 400000"; Windows has none.
CliResult cli(const std::string& args, const std::filesystem::path& cwd,
              const std::string& limits = "true");

} // namespace gridmint::testing
