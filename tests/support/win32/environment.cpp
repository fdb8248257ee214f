#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <cstdio>
#include <stdlib.h>
#include <windows.h>

#include "tests/support/environment.h"

namespace qelvo::test {

const char* const kTempFolderVariable = "TMP";

bool UnderWine() {
  // Wine's ntdll exports its version; Windows' does not.
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

void SetEnvironment(const std::string& name, const std::optional<std::string>& value) {
  // An empty value removes the variable.
  ::_putenv_s(name.c_str(), value ? value->c_str() : "");
}

bool WineLostTheRun(int status, const std::string& output) {
  if (!UnderWine() || status != 1 || !output.empty()) return false;
  std::printf("run again: Wine ended the tool's run with status 1 and no output\n");
  return true;
}

}  // namespace qelvo::test
