#pragma once
// The program's command-line arguments in UTF-8, program name first. On Windows they
// come from the wide command line, so that names outside the ANSI code page survive.
#include <string>
#include <vector>

namespace qelvo::platform {

std::vector<std::string> CommandLineArguments(int argc, char** argv);

}  // namespace qelvo::platform
