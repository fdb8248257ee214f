// Transfers: RETR into memory or a file (resumed with REST), STOR/STOU/APPE from memory
// or a file, directory listings, and aborting a transfer that is under way.
#include <algorithm>
#include <memory>

#include "net/ftp_client.h"
#include "net/text_util.h"
#include "platform/file_stream.h"
#include "platform/file_system.h"

namespace qelvo::net {
namespace {

// A listing larger than this is refused rather than held in memory.
constexpr int64_t kMaxListingBytes = 64 * 1024 * 1024;

// Opens a local file without letting the file layer's exceptions escape: the client
// reports failures through its results.
std::unique_ptr<platform::TFileStream> OpenLocal(const std::string& name, uint16_t mode) {
  try {
    return std::make_unique<platform::TFileStream>(name, mode);
  } catch (const rtl::Exception&) {
    return nullptr;
  }
}

}  // namespace

bool TFTPSend::RetrieveFile(const std::string& FileName, bool Restore) {
  FAbortSent = false;
  if (FileName.empty()) return false;
  if (!OpenDataChannel()) return false;
  const bool resume = Restore && FCanResume;
  std::unique_ptr<platform::TFileStream> file;
  rtl::TStream* target = &FDataStream;
  if (DirectFile) {
    if (resume && platform::FileExists(DirectFileName))
      file = OpenLocal(DirectFileName, platform::fmOpenReadWrite | platform::fmShareExclusive);
    else
      file = OpenLocal(DirectFileName, platform::fmCreate | platform::fmShareExclusive);
    if (file == nullptr) {
      FDSock->CloseSocket();
      return false;
    }
    target = file.get();
  }
  FTPCommand(BinaryMode ? "TYPE I" : "TYPE A");
  if (resume) {
    const int64_t offset = ResumeFrom >= 0 ? ResumeFrom : target->Size();
    target->Seek(0, rtl::soEnd);
    if (FTPCommand("REST " + std::to_string(offset)) / 100 != 3) {
      FDSock->CloseSocket();
      return false;
    }
  } else if (!DirectFile) {
    FDataStream.Clear();
  }
  if (FTPCommand("RETR " + FileName) / 100 != 1) {
    FDSock->CloseSocket();
    return false;
  }
  const bool ok = DataRead(*target);
  if (!DirectFile) FDataStream.Seek(0, rtl::soBeginning);
  return ok;
}

bool TFTPSend::StoreData(const std::string& Command, int64_t RestartPosition) {
  FAbortSent = false;
  std::unique_ptr<platform::TFileStream> file;
  rtl::TStream* source = &FDataStream;
  if (DirectFile) {
    if (!platform::FileExists(DirectFileName)) return false;
    file = OpenLocal(DirectFileName, platform::fmOpenRead | platform::fmShareDenyWrite);
    if (file == nullptr) return false;
    source = file.get();
  }
  if (!OpenDataChannel()) return false;
  FTPCommand(BinaryMode ? "TYPE I" : "TYPE A");
  if (!FCanResume) RestartPosition = 0;
  const int64_t size = source->Size();
  if (size > 0 && size == RestartPosition) {
    FDSock->CloseSocket();
    return true;  // the server has it all already
  }
  if (RestartPosition > size || RestartPosition < 0) RestartPosition = 0;
  FTPCommand("ALLO " + std::to_string(size - RestartPosition));
  if (FCanResume && FTPCommand("REST " + std::to_string(RestartPosition)) / 100 != 3) {
    FDSock->CloseSocket();
    return false;
  }
  source->Seek(RestartPosition, rtl::soBeginning);
  if (FTPCommand(Command) / 100 != 1) {
    FDSock->CloseSocket();
    return false;
  }
  return DataWrite(*source);
}

bool TFTPSend::StoreFile(const std::string& FileName, bool Restore) {
  if (FileName.empty()) return false;
  int64_t restart = 0;
  if (Restore && FCanResume) restart = std::max<int64_t>(FileSize(FileName), 0);
  return StoreData("STOR " + FileName, restart);
}

bool TFTPSend::StoreUniqueFile() { return StoreData("STOU", 0); }

bool TFTPSend::AppendFile(const std::string& FileName) {
  if (FileName.empty()) return false;
  return StoreData("APPE " + FileName, 0);
}

bool TFTPSend::List(const std::string& Directory, bool NameList) {
  FAbortSent = false;
  FDataStream.Clear();
  FFtpList.Clear();
  FTPCommand("TYPE A");
  if (!OpenDataChannel()) return false;
  std::string command = NameList ? "NLST" : "LIST";
  if (!Directory.empty()) command += " " + Directory;
  if (FTPCommand(command) / 100 != 1) {
    FDSock->CloseSocket();
    return false;
  }
  FDataReadLimit = kMaxListingBytes;
  const bool ok = DataRead(FDataStream);
  FDataReadLimit = 0;
  if (ok && !NameList) {
    FFtpList.Lines.SetText(FDataStream.DataString());
    FFtpList.ParseLines();
  }
  FDataStream.Seek(0, rtl::soBeginning);
  return ok;
}

void TFTPSend::Abort() {
  FSock->SendString("ABOR\r\n");
  ReportFtpStatus(false, "ABOR");
  FDSock->StopFlag = true;
  FAbortSent = true;
}

void TFTPSend::TelnetAbort() {
  // Telnet "interrupt process" and "data mark", so servers that watch for them stop.
  FSock->SendString(ByteString("\xFF\xF4\xFF\xF2", 4));
  Abort();
}

}  // namespace qelvo::net
