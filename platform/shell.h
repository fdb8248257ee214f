#pragma once
// Shell operations: opening a file with its associated handler and writing shortcut
// files. On Windows these are ShellExecuteW and IShellLinkW through COM. On POSIX a
// launch runs xdg-open, detached, and a shortcut is a real .lnk file in the Shell Link
// binary format, carrying the Windows-form paths it was given.
#include <cstdint>
#include <string>

#include "rtl/text.h"

namespace qelvo::platform {

// Starts the file's handler (ShellExecuteW "open"; xdg-open in its own session) and
// returns at once; true when the handler was started. Its outcome is not observed.
bool ShellOpen(const std::string& file);

struct TShellLink {
  std::string Description;
  std::string Path;  // target, Windows form ("C:\QelvoERP\Vaskir2.exe")
  std::string Arguments;
  std::string WorkingDirectory;
};

// Facts about the target stored in the link header; zero when the target does not exist.
// Times are FILETIME values: 100 ns units since 1601-01-01 UTC.
struct TShellLinkTargetInfo {
  uint32_t FileAttributes = 0;
  uint64_t CreationTime = 0;
  uint64_t AccessTime = 0;
  uint64_t WriteTime = 0;
  uint32_t FileSize = 0;
};

// The bytes of a .lnk file for the link.
rtl::ByteString EncodeShellLink(const TShellLink& link, const TShellLinkTargetInfo& target);

// Writes (or replaces) the .lnk file; false when it cannot be written. Windows goes
// through the shell's link object, which needs COM on the calling thread (it is
// initialised for the call when the thread has not done so).
bool SaveShellLink(const TShellLink& link, const std::string& linkFile);

}  // namespace qelvo::platform
