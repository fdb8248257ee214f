#include "platform/command_line.h"

#include "platform/win32/windows_api.h"

#include <shellapi.h>

namespace qelvo::platform {

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  int n = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &n);
  if (!wide) return {argv, argv + argc};
  std::vector<std::string> args;
  for (int i = 0; i < n; ++i) args.push_back(win32::Narrow(wide[i], wcslen(wide[i])));
  ::LocalFree(wide);
  return args;
}

}  // namespace qelvo::platform
