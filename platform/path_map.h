#pragma once
// The one place where the program's Windows-form paths meet the native file system.
// "C:\..." maps to the drive-C root folder ($QELVO_DRIVE_C, else
// $XDG_DATA_HOME/qelvo/drive_c, else ~/.local/share/qelvo/drive_c); "Z:\..." maps to "/".
// Other drives, UNC paths and relative paths do not map.
#include <optional>
#include <string>

namespace qelvo::platform {

// The native folder that stands for C:\ (no trailing slash).
std::string DriveCRoot();

// Windows-form absolute path -> native path. Relative paths map against the native
// current folder. Returns nothing for a path that maps nowhere (other drive, UNC).
std::optional<std::string> ToNativePath(const std::string& windowsPath);
// Like ToNativePath, but raises EInOutError (ENOENT-like code) naming the path.
std::string ToNativePathOrThrow(const std::string& windowsPath);

// Native absolute path -> Windows form: paths under the drive-C root become "C:\...",
// every other absolute path "Z:\...". Slashes become backslashes.
std::string FromNativePath(const std::string& nativePath);

}  // namespace qelvo::platform
