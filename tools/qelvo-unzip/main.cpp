// qelvo-unzip: lists, tests or extracts a ZIP archive through the unzip component, the
// way the installer unpacks its packages (folders created, stored paths restored).
//
// Exit status: 0 when every item succeeded, 1 when some item failed (each failure is
// printed with the item's name, the reason and its code in brackets) or a mask matched
// nothing, 2 when the archive could not be opened or the command line is wrong.
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
#include "platform/command_line.h"
#include "platform/file_system.h"
#include "platform/os_error.h"
#include "platform/path_map.h"
#include "tools/qelvo-unzip/command_line.h"
#include "tools/qelvo-unzip/disk_refusal.h"
#include "tools/qelvo-unzip/messages.h"
#include "unzip/unzipper.h"

namespace {

using namespace qelvo;
using namespace qelvo::archive;
using qelvo::tools::EscapeControls;
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
    std::string name = EscapeControls(name_);
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
  tools::TSizeTotal total;
  for (int i = 0; i < unzipper.Count(); ++i) {
    TArcArchiveItem* item = unzipper.Items(i);
    // Other archive types have no method per item: the column names the type.
    const std::string method = zip != nullptr ? ZipMethodName(zip->Items(i)->CompressionMethod()) : OtherTypeName(unzipper);
    const uint16_t d = item->LastModFileDate();
    const uint16_t t = item->LastModFileTime();
    std::printf("%10lld  %-9s  %08x  %04u-%02u-%02u %02u:%02u  %s\n", static_cast<long long>(item->UncompressedSize()),
                method.c_str(), item->CRC32(), (d >> 9) + 1980u, (d >> 5) & 15u, d & 31u, t >> 11, (t >> 5) & 63u,
                EscapeControls(item->FileName()).c_str());
    total.Add(item->UncompressedSize());
  }
  std::printf("----------                                         ----\n");
  std::printf("%10s                                         %d item%s\n", total.Text().c_str(), unzipper.Count(),
              unzipper.Count() == 1 ? "" : "s");
  return 0;
}

bool MaskMatchesAnItem(unzip::TArcUnZipper& unzipper, const std::string& mask) {
  for (int i = 0; i < unzipper.Count(); ++i)
    if (unzipper.Items(i)->MatchesStoredNameEx(mask)) return true;
  return false;
}

int Run(const TUnzipOptions& o) {
  if (o.Command == TUnzipCommand::Help) {
    std::fputs(tools::UnzipUsageText(), stdout);
    return 0;
  }
  if (o.Command == TUnzipCommand::Version) {
    std::printf("qelvo-unzip %s\n", unzip::TArcUnZipper::Version());
    return 0;
  }
  tools::TDiskRefusal noDisks;
  TArcDiskPromptScope diskPrompt(&noDisks);
  unzip::TArcUnZipper unzipper;
  int failures = 0;
  int unmatched = 0;
  int processed = 0;
  TProgressLine progress(!o.Quiet && o.Command != TUnzipCommand::List);
  unzipper.OnProcessItemFailure = [&](unzip::TArcBaseBrowser*, TArcArchiveItem* item, TArcProcessType,
                                      TArcErrorClass errorClass, int32_t errorCode) {
    ++failures;
    progress.Finish();
    tools::TFailureContext context;
    context.PasswordGiven = o.HasPassword;
    if (auto* zipItem = dynamic_cast<TArcZipItem*>(item)) context.Method = zipItem->CompressionMethod();
    const std::string reason =
        tools::DescribeFailure(errorClass, errorCode, FailureMessage(errorClass, errorCode), context);
    std::fprintf(stderr, "qelvo-unzip: %s: %s\n", EscapeControls(item->FileName()).c_str(), reason.c_str());
  };
  unzipper.OnConfirmProcessItem = [&](unzip::TArcBaseBrowser*, TArcArchiveItem* item, TArcProcessType, bool&) {
    ++processed;
    progress.Item(item->FileName(), 0);
  };
  unzipper.OnArchiveItemProgress = [&](unzip::TArcBaseBrowser*, TArcArchiveItem* item, uint8_t percent, bool&) {
    progress.Item(item->FileName(), percent);
  };
  unzipper.OnArchiveProgress = [&](unzip::TArcBaseBrowser*, uint8_t percent, bool&) { progress.Archive(percent); };
  int skipped = 0;
  unzipper.OnConfirmOverwrite = [&](std::string&, bool& confirm) {
    confirm = o.Overwrite != tools::TUnzipOverwrite::Never;
    if (!confirm) ++skipped;
  };

  unzipper.SetExtractOptions({eoCreateDirs, eoRestorePath});
  unzipper.SetTarAutoHandle(true);  // a .tar.gz or .tar.bz2 shows the tar's items
  if (o.HasPassword) unzipper.SetPassword(o.Password);
  try {
    unzipper.SetFileName(ToWindowsPath(o.Archive));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qelvo-unzip: cannot open %s: %s\n", EscapeControls(o.Archive).c_str(),
                 EscapeControls(e.what()).c_str());
    if (IsSplitPartName(o.Archive))
      std::fprintf(stderr, "qelvo-unzip: %s is one part of a split set: give its last part (NAME.zip)\n",
                   EscapeControls(o.Archive).c_str());
    if (IsVolumePieceName(o.Archive))
      std::fprintf(stderr,
                   "qelvo-unzip: %s looks like one piece of a file cut into volumes (NAME.zip.001, ...): "
                   "join the pieces in order into NAME.zip and give that\n",
                   EscapeControls(o.Archive).c_str());
    return 2;
  }
  // Reading the directory may have shown progress; the work starts now.
  progress.Restart();

  try {
    switch (o.Command) {
      case TUnzipCommand::List:
        return List(unzipper);
      case TUnzipCommand::Test:
        // One pass; a failing item is reported and the others are still tested.
        processed = unzipper.Count();
        unzipper.TestFiles("*.*");
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
        for (const std::string& m : o.Masks) {
          if (MaskMatchesAnItem(unzipper, m)) continue;
          ++unmatched;
          std::fprintf(stderr, "qelvo-unzip: caution: filename not matched: %s\n", EscapeControls(m).c_str());
        }
        break;
      }
      case TUnzipCommand::Help:
      case TUnzipCommand::Version:
        break;
    }
  } catch (const std::exception& e) {
    progress.Finish();
    std::fprintf(stderr, "qelvo-unzip: %s: %s\n", EscapeControls(o.Archive).c_str(), EscapeControls(e.what()).c_str());
    return 1;
  }
  progress.Finish();
  if (!o.Quiet) {
    std::printf("%s: %d item%s %s, %d failed", EscapeControls(o.Archive).c_str(), processed,
                processed == 1 ? "" : "s", o.Command == TUnzipCommand::Test ? "tested" : "processed", failures);
    if (skipped > 0) std::printf(", %d kept (not overwritten)", skipped);
    std::printf("\n");
  }
  return failures == 0 && unmatched == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args = qelvo::platform::CommandLineArguments(argc, argv);
  if (!args.empty()) args.erase(args.begin());
  std::string error;
  const auto options = qelvo::tools::ParseUnzipCommandLine(args, error);
  if (!options) {
    std::fprintf(stderr, "qelvo-unzip: %s\n%s", EscapeControls(error).c_str(), qelvo::tools::UnzipUsageText());
    return 2;
  }
  try {
    return Run(*options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qelvo-unzip: %s\n", e.what());
    return 2;
  }
}
