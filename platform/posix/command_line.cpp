#include "platform/command_line.h"

namespace qelvo::platform {

std::vector<std::string> CommandLineArguments(int argc, char** argv) { return {argv, argv + argc}; }

}  // namespace qelvo::platform
