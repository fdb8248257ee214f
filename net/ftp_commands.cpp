// TFTPSend: reading replies, sending commands, login and the one-line commands.
//
// A reply is one line "ddd text", or several lines that begin "ddd-" and end with the
// first line that begins "ddd " with the same code. ReadResult keeps every line in
// FullResult, bounded in line count and line length.
#include <cstdlib>

#include "net/ftp_client.h"
#include "net/text_util.h"

namespace qelvo::net {
namespace {

bool StartsReply(const std::string& line) {
  return line.size() > 3 && IsAsciiDigit(line[0]) && IsAsciiDigit(line[1]) && IsAsciiDigit(line[2]) &&
         (line[3] == ' ' || line[3] == '-');
}

}  // namespace

TFTPSend::TFTPSend()
    : FSock(std::make_unique<TTCPBlockSocket>()),
      FDSock(std::make_unique<TTCPBlockSocket>()),
      FListenSock(std::make_unique<TTCPBlockSocket>()) {
  FSock->Owner = this;
  FSock->ConvertLineEnd = true;
  FSock->MaxLineLength = cMaxReplyLine;
  FDSock->Owner = this;
  FListenSock->Owner = this;
  Timeout = 300000;
  TargetPort = cFtpProtocol;
  UserName = "anonymous";
  Password = UserName + "@" + FSock->LocalName();
}

TFTPSend::~TFTPSend() = default;

void TFTPSend::ReportFtpStatus(bool Response, const std::string& Value) {
  if (OnStatus) OnStatus(this, Response, Value);
}

int32_t TFTPSend::ReadResult() {
  FFullResult.Clear();
  std::string code;
  for (;;) {
    const std::string line = FSock->RecvString(Timeout);
    if (FSock->LastError != 0) break;
    if (code.empty() && StartsReply(line)) code = line.substr(0, 3);
    FResultString = line;
    FFullResult.Add(line);
    ReportFtpStatus(true, line);
    if (!code.empty() && line.size() >= 4 && line.compare(0, 3, code) == 0 && line[3] == ' ') break;
    if (FFullResult.Count() >= cMaxReplyLines) {
      FSock->LastError = WSAENOBUFS;
      FSock->LastErrorDesc = TBlockSocket::GetErrorDesc(WSAENOBUFS);
      break;
    }
  }
  FResultCode = FSock->LastError == 0 && !code.empty() ? std::atoi(code.c_str()) : 0;
  return FResultCode;
}

int32_t TFTPSend::FTPCommand(const std::string& Value) {
  // A line break inside a name would smuggle in a second command.
  if (Value.find_first_of("\r\n") != std::string::npos) {
    FFullResult.Clear();
    FResultString.clear();
    FResultCode = 0;
    return 0;
  }
  FSock->Purge();
  FSock->SendString(Value + "\r\n");
  ReportFtpStatus(false, Value);
  if (FSock->LastError != 0) {
    FFullResult.Clear();
    FResultString.clear();
    FResultCode = 0;
    return 0;
  }
  return ReadResult();
}

bool TFTPSend::ConnectControl() {
  FSock->CloseSocket();
  // Credentials must not go out in the clear when TLS was demanded and cannot be had.
  if ((FullSSL || (AutoTLS && RequireTLS)) && !FSock->SSLAvailable()) return false;
  FSock->Bind(IPInterface, "0");
  if (FSock->LastError != 0) return false;
  if (!FWHost.empty())
    FSock->Connect(FWHost, FWPort);
  else
    FSock->Connect(TargetHost, TargetPort);
  if (FSock->LastError == 0 && FullSSL) StartControlTLS();
  return FSock->LastError == 0;
}

void TFTPSend::StartControlTLS() {
  // The certificate must name the server the user asked for, not a firewall in between.
  TCustomSSL* ssl = FSock->SSL();
  const bool named = !ssl->SNIHost.empty();
  if (!named) ssl->SNIHost = TargetHost;
  FSock->SSLDoConnect();
  if (!named) ssl->SNIHost.clear();
}

bool TFTPSend::Login() {
  FCanResume = false;
  if (!ConnectControl()) return false;
  FIsTLS = FullSSL;
  FIsDataTLS = false;
  // Preliminary 1xx greetings ("120 ready in n minutes") come before the real one.
  int guard = 0;
  do {
    ReadResult();
  } while (FResultCode / 100 == 1 && ++guard < 16);
  if (FResultCode / 100 != 2) return false;
  if (AutoTLS && !FIsTLS) {
    if (FTPCommand("AUTH TLS") / 100 == 2) {
      StartControlTLS();
      FIsTLS = FSock->LastError == 0;
      if (!FIsTLS) return false;
    }
    if (!FIsTLS && RequireTLS) return false;
  }
  if (!RunLogonScript(FWMode)) return false;
  if (FIsTLS) {
    FTPCommand("PBSZ 0");
    if (TLSonData)
      FIsDataTLS = FTPCommand("PROT P") / 100 == 2;
    else
      FTPCommand("PROT C");
  }
  FTPCommand("TYPE I");
  FTPCommand("STRU F");
  FTPCommand("MODE S");
  if (FTPCommand("REST 0") == 350 && FTPCommand("REST 1") == 350) {
    FTPCommand("REST 0");
    FCanResume = true;
  }
  return true;
}

bool TFTPSend::Logout() {
  // Nothing to say goodbye to; and the error of the failed connection stays readable.
  if (FSock->Socket() == platform::kInvalidSocket) return false;
  const bool ok = FTPCommand("QUIT") / 100 == 2;
  FSock->CloseSocket();
  return ok;
}

bool TFTPSend::NoOp() { return FTPCommand("NOOP") / 100 == 2; }

bool TFTPSend::RenameFile(const std::string& OldName, const std::string& NewName) {
  if (FTPCommand("RNFR " + OldName) / 100 != 3) return false;
  return FTPCommand("RNTO " + NewName) / 100 == 2;
}

bool TFTPSend::DeleteFile(const std::string& FileName) { return FTPCommand("DELE " + FileName) / 100 == 2; }

bool TFTPSend::ChangeWorkingDir(const std::string& Directory) { return FTPCommand("CWD " + Directory) / 100 == 2; }

bool TFTPSend::ChangeToParentDir() { return FTPCommand("CDUP") / 100 == 2; }

bool TFTPSend::ChangeToRootDir() { return ChangeWorkingDir("/"); }

bool TFTPSend::DeleteDir(const std::string& Directory) { return FTPCommand("RMD " + Directory) / 100 == 2; }

bool TFTPSend::CreateDir(const std::string& Directory) { return FTPCommand("MKD " + Directory) / 100 == 2; }

std::string TFTPSend::GetCurrentDir() {
  if (FTPCommand("PWD") / 100 != 2) return "";
  const size_t first = FResultString.find('"');
  if (first == std::string::npos) return "";
  const size_t second = FResultString.find('"', first + 1);
  if (second == std::string::npos) return "";
  return TrimSpaces(FResultString.substr(first + 1, second - first - 1));
}

int64_t TFTPSend::FileSize(const std::string& FileName) {
  if (FTPCommand("SIZE " + FileName) / 100 != 2) return -1;
  const size_t space = FResultString.find(' ');
  if (space == std::string::npos) return -1;
  const std::string rest = TrimSpaces(FResultString.substr(space + 1));
  const std::string word = rest.substr(0, rest.find(' '));
  if (word.empty() || word.size() > 18 || word.find_first_not_of("0123456789") != std::string::npos) return -1;
  return std::strtoll(word.c_str(), nullptr, 10);
}

}  // namespace qelvo::net
