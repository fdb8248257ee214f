// qelvo-unzip: lists, tests or extracts a ZIP archive through the unzip component, the
// way the installer unpacks its packages (folders created, stored paths restored).
//
// Exit status: 0 when every item succeeded, 1 when some item failed (each failure is
// printed with the item's name, its error class and code, and the message), 2 when the
// archive could not be opened or the command line is wrong.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "archive/errors.h"
#include "archive/zip_archive.h"
#include "platform/command_line.h"
#include "platform/file_system.h"
#include "platform/os_error.h"
#include "platform/path_map.h"
#include "tools/qelvo-unzip/command_line.h"
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

const char* ErrorClassName(TArcErrorClass c) {
  switch (c) {
    case ecArchive: return "ecArchive";
    case ecInOutError: return "ecInOutError";
    case ecFilerError: return "ecFilerError";
    case ecFileCreateError: return "ecFileCreateError";
    case ecFileOpenError: return "ecFileOpenError";
    case ecCabError: return "ecCabError";
    case ecOther: return "ecOther";
  }
  return "ecOther";
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

const char* MethodName(uint8_t method, char (&unknown)[16]) {
  switch (method & 0x7F) {
    case 0: return "Stored";
    case 1: return "Shrunk";
    case 2: return "Reduced1";
    case 3: return "Reduced2";
    case 4: return "Reduced3";
    case 5: return "Reduced4";
    case 6: return "Imploded";
    case 7: return "Tokenized";
    case 8: return "Deflated";
    case 9: return "Deflate64";
    case 12: return "BZip2";
    case 14: return "LZMA";
    case 97: return "WavPack";
    case 98: return "PPMd";
    case 99: return "AES";
  }
  std::snprintf(unknown, sizeof unknown, "Unk:%03u", static_cast<unsigned>(method));
  return unknown;
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

int List(unzip::TArcUnZipper& unzipper) {
  TArcZipArchive* zip = unzipper.ZipArchive();
  std::printf("    Length  Method     CRC-32    Date       Time   Name\n");
  std::printf("----------  ---------  --------  ---------- -----  ----\n");
  int64_t total = 0;
  for (int i = 0; i < unzipper.Count(); ++i) {
    TArcZipItem* item = zip->Items(i);
    const uint16_t d = item->LastModFileDate();
    const uint16_t t = item->LastModFileTime();
    char unknown[16];
    std::printf("%10lld  %-9s  %08x  %04u-%02u-%02u %02u:%02u  %s\n", static_cast<long long>(item->UncompressedSize()),
                MethodName(item->CompressionMethod(), unknown), item->CRC32(), (d >> 9) + 1980u, (d >> 5) & 15u,
                d & 31u, t >> 11, (t >> 5) & 63u, item->FileName().c_str());
    total += item->UncompressedSize();
  }
  std::printf("----------                                         ----\n");
  std::printf("%10lld                                         %d item%s\n", static_cast<long long>(total),
              unzipper.Count(), unzipper.Count() == 1 ? "" : "s");
  return 0;
}

int Run(const TUnzipOptions& o) {
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
  if (o.HasPassword) unzipper.SetPassword(o.Password);
  try {
    unzipper.SetFileName(ToWindowsPath(o.Archive));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qelvo-unzip: cannot open %s: %s\n", o.Archive.c_str(), e.what());
    return 2;
  }
  // Reading the directory may have shown progress; the work starts now.
  progress.Restart();

  try {
    switch (o.Command) {
      case TUnzipCommand::List:
        return List(unzipper);
      case TUnzipCommand::Test:
        // One item at a time, so that a failing item does not stop the others.
        for (int i = 0; i < unzipper.Count(); ++i) {
          TArcArchiveItem* item = unzipper.Items(i);
          unzipper.ClearTags();
          item->SetTagged(true);
          ++processed;
          progress.Item(item->FileName(), 0);
          try {
            unzipper.TestTaggedItems();
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
  std::vector<std::string> args = qelvo::platform::CommandLineArguments(argc, argv);
  if (!args.empty()) args.erase(args.begin());
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
