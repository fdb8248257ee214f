// qelvo-unzip: lists, tests or extracts a ZIP archive through the unzip component, the
// way the installer unpacks its packages (folders created, stored paths restored).
//
// Exit status: 0 when every item succeeded, 1 when some item failed (each failure is
// printed with the item's name, its error class and code, and the message), 2 when the
// archive could not be opened or the command line is wrong.
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "archive/errors.h"
#include "archive/zip_archive.h"
#include "archive/zip_records.h"
#include "platform/file_system.h"
#include "platform/os_error.h"
#include "platform/path_map.h"
#include "tools/qelvo-unzip/command_line.h"
#include "tools/qelvo-unzip/disk_refusal.h"
#include "unzip/unzipper.h"

namespace {

using namespace qelvo;
using namespace qelvo::archive;
using qelvo::tools::TUnzipCommand;
using qelvo::tools::TUnzipOptions;

// Command-line paths are native; the component takes Windows-form paths.
std::string ToWindowsPath(const std::string& native) {
  if (!native.empty() && native[0] == '/') return platform::FromNativePath(native);
  std::string p = native;
  for (char& c : p)
    if (c == '/') c = '\\';
  return p;
}

// The message of the failure being reported: the exception in flight when there is
// one, else the text its class and code stand for.
std::string FailureMessage(TArcErrorClass errorClass, int32_t errorCode) {
  if (std::exception_ptr current = std::current_exception()) {
    try {
      std::rethrow_exception(current);
    } catch (const std::exception& e) {
      return e.what();
    } catch (...) {
    }
  }
  if (errorClass == ecArchive) return ArcErrorText(errorCode);
  if (errorClass == ecInOutError) return platform::SysErrorMessage(errorCode);
  return "";
}

// A one-line progress display on stderr for work that takes more than a second:
// rewritten in place on a terminal, a line every few seconds otherwise.
class TProgressLine {
 public:
  explicit TProgressLine(bool enabled) : enabled_(enabled), tty_(isatty(STDERR_FILENO) == 1) {}
  ~TProgressLine() { Finish(); }

  void Archive(uint8_t percent) {
    archivePercent_ = percent;
    Show();
  }
  void Item(const std::string& name, uint8_t percent) {
    name_ = name;
    itemPercent_ = percent;
    Show();
  }
  void Finish() {
    if (shown_ && tty_) std::fputc('\n', stderr);
    shown_ = false;
  }
  // Counts "long" from now on.
  void Restart() {
    Finish();
    start_ = std::chrono::steady_clock::now();
  }

 private:
  void Show() {
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - start_ < std::chrono::seconds(1)) return;
    if (now - last_ < (tty_ ? std::chrono::milliseconds(100) : std::chrono::milliseconds(3000))) return;
    last_ = now;
    std::string name = name_;
    if (name.size() > 50) name = "..." + name.substr(name.size() - 47);
    std::fprintf(stderr, tty_ ? "\r[%3u%%] %-50s %3u%%\x1b[K" : "[%3u%%] %s %u%%\n", archivePercent_, name.c_str(),
                 itemPercent_);
    std::fflush(stderr);
    shown_ = true;
  }

  bool enabled_;
  bool tty_;
  bool shown_ = false;
  unsigned archivePercent_ = 0;
  unsigned itemPercent_ = 0;
  std::string name_;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point last_{};
};

// "NAME.z01", "NAME.z02"...: the parts of a split set before its last one.
bool IsSplitPartName(const std::string& path) {
  const size_t n = path.size();
  auto digit = [&](size_t i) { return std::isdigit(static_cast<unsigned char>(path[i])) != 0; };
  return n > 4 && path[n - 4] == '.' && (path[n - 3] == 'z' || path[n - 3] == 'Z') && digit(n - 2) && digit(n - 1);
}

// "NAME.zip.001", "NAME.zip.002"...: byte pieces of one file, not the parts of a set.
bool IsVolumePieceName(const std::string& path) {
  const size_t n = path.size();
  auto digit = [&](size_t i) { return std::isdigit(static_cast<unsigned char>(path[i])) != 0; };
  return n > 4 && path[n - 4] == '.' && digit(n - 3) && digit(n - 2) && digit(n - 1);
}

std::string OtherTypeName(const unzip::TArcUnZipper& unzipper) {
  switch (unzipper.ArchiveType()) {
    case atTar: return "tar";
    case atGzip: return "gzip";
    case atBzip2: return "bzip2";
    case atGzippedTar: return unzipper.TarAutoHandle() ? "tar.gz" : "gzip";
    case atBzippedTar: return unzipper.TarAutoHandle() ? "tar.bz2" : "bzip2";
    default: return "?";
  }
}

int List(unzip::TArcUnZipper& unzipper) {
  TArcZipArchive* zip = unzipper.ZipArchive();
  std::printf("    Length  Method     CRC-32    Date       Time   Name\n");
  std::printf("----------  ---------  --------  ---------- -----  ----\n");
  int64_t total = 0;
  for (int i = 0; i < unzipper.Count(); ++i) {
    TArcArchiveItem* item = unzipper.Items(i);
    // Other archive types have no method per item: the column names the type.
    const std::string method = zip != nullptr ? ZipMethodName(zip->Items(i)->CompressionMethod()) : OtherTypeName(unzipper);
    const uint16_t d = item->LastModFileDate();
    const uint16_t t = item->LastModFileTime();
    std::printf("%10lld  %-9s  %08x  %04u-%02u-%02u %02u:%02u  %s\n", static_cast<long long>(item->UncompressedSize()),
                method.c_str(), item->CRC32(), (d >> 9) + 1980u, (d >> 5) & 15u,
                d & 31u, t >> 11, (t >> 5) & 63u, item->FileName().c_str());
    total += item->UncompressedSize();
  }
  std::printf("----------                                         ----\n");
  std::printf("%10lld                                         %d item%s\n", static_cast<long long>(total),
              unzipper.Count(), unzipper.Count() == 1 ? "" : "s");
  return 0;
}

int Run(const TUnzipOptions& o) {
  tools::TDiskRefusal noDisks;
  TArcDiskPromptScope diskPrompt(&noDisks);
  unzip::TArcUnZipper unzipper;
  int failures = 0;
  int processed = 0;
  TProgressLine progress(!o.Quiet && o.Command != TUnzipCommand::List);
  auto report = [&](const std::string& name, TArcErrorClass errorClass, int32_t errorCode, const std::string& message) {
    ++failures;
    progress.Finish();
    std::fprintf(stderr, "qelvo-unzip: %s: %s %d: %s\n", name.c_str(), ErrorClassName(errorClass), errorCode,
                 message.c_str());
  };
  unzipper.OnProcessItemFailure = [&](unzip::TArcBaseBrowser*, TArcArchiveItem* item, TArcProcessType,
                                      TArcErrorClass errorClass, int32_t errorCode) {
    report(item->FileName(), errorClass, errorCode, FailureMessage(errorClass, errorCode));
  };
  unzipper.OnConfirmProcessItem = [&](unzip::TArcBaseBrowser*, TArcArchiveItem* item, TArcProcessType, bool&) {
    ++processed;
    progress.Item(item->FileName(), 0);
  };
  unzipper.OnArchiveItemProgress = [&](unzip::TArcBaseBrowser*, TArcArchiveItem* item, uint8_t percent, bool&) {
    progress.Item(item->FileName(), percent);
  };
  unzipper.OnArchiveProgress = [&](unzip::TArcBaseBrowser*, uint8_t percent, bool&) { progress.Archive(percent); };

  unzipper.SetExtractOptions({eoCreateDirs, eoRestorePath});
  unzipper.SetTarAutoHandle(true);  // a .tar.gz or .tar.bz2 shows the tar's items
  if (o.HasPassword) unzipper.SetPassword(o.Password);
  try {
    unzipper.SetFileName(ToWindowsPath(o.Archive));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qelvo-unzip: cannot open %s: %s\n", o.Archive.c_str(), e.what());
    if (IsSplitPartName(o.Archive))
      std::fprintf(stderr, "qelvo-unzip: %s is one part of a split set: give its last part (NAME.zip)\n",
                   o.Archive.c_str());
    if (IsVolumePieceName(o.Archive))
      std::fprintf(stderr,
                   "qelvo-unzip: %s looks like one piece of a file cut into volumes (NAME.zip.001, ...): "
                   "join the pieces in order into NAME.zip and give that\n",
                   o.Archive.c_str());
    return 2;
  }
  // Reading the directory may have shown progress; the work starts now.
  progress.Restart();

  try {
    switch (o.Command) {
      case TUnzipCommand::List:
        return List(unzipper);
      case TUnzipCommand::Test:
        // One item at a time, so that a failing item does not stop the others (and by
        // index: going through the tags would scan every item for each one).
        for (int i = 0; i < unzipper.Count(); ++i) {
          TArcArchiveItem* item = unzipper.Items(i);
          ++processed;
          progress.Item(item->FileName(), 0);
          progress.Archive(static_cast<uint8_t>(int64_t{100} * i / unzipper.Count()));
          try {
            unzipper.TestAt(i);
          } catch (const std::exception& e) {
            const TArcClassifiedError c = ClassifyException(e);
            report(item->FileName(), c.ErrorClass, c.ErrorCode, e.what());
          }
        }
        break;
      case TUnzipCommand::Extract: {
        std::string dir = ToWindowsPath(o.Directory);
        if (!dir.empty() && !platform::DirectoryExists(dir) && !platform::ForceDirectories(dir)) {
          std::fprintf(stderr, "qelvo-unzip: cannot create %s: %s\n", o.Directory.c_str(),
                       platform::SysErrorMessage(platform::GetLastOSError()).c_str());
          return 2;
        }
        unzipper.SetBaseDirectory(dir);
        std::string masks;
        for (const std::string& m : o.Masks) masks += (masks.empty() ? "" : ";") + m;
        unzipper.ExtractFiles(masks.empty() ? "*.*" : masks);
        break;
      }
    }
  } catch (const std::exception& e) {
    progress.Finish();
    std::fprintf(stderr, "qelvo-unzip: %s: %s\n", o.Archive.c_str(), e.what());
    return 1;
  }
  progress.Finish();
  if (!o.Quiet) {
    std::printf("%s: %d item%s %s, %d failed\n", o.Archive.c_str(), processed, processed == 1 ? "" : "s",
                o.Command == TUnzipCommand::Test ? "tested" : "processed", failures);
  }
  return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  const auto options = qelvo::tools::ParseUnzipCommandLine(args, error);
  if (!options) {
    std::fprintf(stderr, "qelvo-unzip: %s\n%s", error.c_str(), qelvo::tools::UnzipUsageText());
    return 2;
  }
  try {
    return Run(*options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qelvo-unzip: %s\n", e.what());
    return 2;
  }
}
