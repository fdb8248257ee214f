// Data connections: passive (EPSV over IPv6, PASV over IPv4) and active (EPRT, PORT),
// and the reads and writes over them that end with the transfer's final reply.
//
// Passive connections go to the control connection's peer, whatever address a PASV
// reply names, unless TrustPasvAddress is set: the reply could otherwise point the
// client at any host. Active connections listen on a socket of their own, so that DSock
// (whose closes the download driver watches) only ever holds the data connection.
#include <algorithm>
#include <cstdlib>

#include "net/ftp_client.h"
#include "net/ip_text.h"
#include "net/text_util.h"

namespace qelvo::net {
namespace {

bool ValidPort(const std::string& port) {
  if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos) return false;
  const int v = std::atoi(port.c_str());
  return v >= 1 && v <= 65535;
}

}  // namespace

void TFTPSend::ParseRemote(const std::string& Value) {
  FDataIP.clear();
  FDataPort.clear();
  std::string s = TrimSpaces(Value);
  const size_t open = s.find('(');
  const size_t close = s.find(')', open == std::string::npos ? 0 : open);
  if (open != std::string::npos && close != std::string::npos)
    s = s.substr(open + 1, close - open - 1);
  else
    s = s.substr(s.rfind(' ') == std::string::npos ? 0 : s.rfind(' ') + 1);
  // Some servers write "227 =h1,h2,...": the numbers start at the first digit.
  const size_t digit = s.find_first_of("0123456789");
  s = digit == std::string::npos ? "" : s.substr(digit);
  int numbers[6];
  int n = 0;
  size_t pos = 0;
  while (n < 6) {
    size_t comma = s.find(',', pos);
    const std::string piece = TrimSpaces(s.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos));
    if (!IsDecimalByte(piece)) return;
    numbers[n++] = std::atoi(piece.c_str());
    if (comma == std::string::npos) break;
    pos = comma + 1;
  }
  if (n < 6) return;
  FDataIP = std::to_string(numbers[0]) + "." + std::to_string(numbers[1]) + "." + std::to_string(numbers[2]) + "." +
            std::to_string(numbers[3]);
  FDataPort = std::to_string(numbers[4] * 256 + numbers[5]);
}

void TFTPSend::ParseRemoteEPSV(const std::string& Value) {
  FDataIP.clear();
  FDataPort.clear();
  const size_t open = Value.find('(');
  const size_t close = Value.find(')', open == std::string::npos ? 0 : open);
  if (open == std::string::npos || close == std::string::npos) return;
  std::string s = TrimSpaces(Value.substr(open + 1, close - open - 1));
  if (s.empty()) return;
  s.pop_back();  // the closing delimiter
  size_t start = s.size();
  while (start > 0 && s[start - 1] >= '0' && s[start - 1] <= '9') --start;
  FDataPort = s.substr(start);
  FDataIP = TargetHost;
}

bool TFTPSend::OpenDataChannel() {
  if (FIsDataTLS) PassiveMode = true;
  FDataPhase = dpIdle;
  return PassiveMode ? OpenPassive() : OpenActive();
}

bool TFTPSend::OpenPassive() {
  if (FSock->IP6used && !ForceOldPort) {
    if (FTPCommand("EPSV 2") / 100 != 2) return false;
    ParseRemoteEPSV(FResultString);
  } else {
    if (FSock->IP6used) return false;
    if (FTPCommand("PASV") / 100 != 2) return false;
    ParseRemote(FResultString);
  }
  if (!ValidPort(FDataPort)) return false;
  const std::string host = TrustPasvAddress ? FDataIP : FSock->GetRemoteSinIP();
  FDSock->CloseSocket();
  FDSock->Bind(IPInterface, "0");
  if (FDSock->LastError != 0) return false;
  FDSock->Connect(host, FDataPort);
  return FDSock->LastError == 0;
}

bool TFTPSend::OpenActive() {
  FDSock->CloseSocket();
  FListenSock->CloseSocket();
  FListenSock->Bind(FSock->GetLocalSinIP(), ForceDefaultPort ? cFtpDataProtocol : "0");
  if (FListenSock->LastError != 0) return false;
  FListenSock->SetLinger(true, 10000);
  FListenSock->Listen();
  if (FListenSock->LastError != 0) return false;
  FDataIP = FListenSock->GetLocalSinIP();
  FDataPort = std::to_string(FListenSock->GetLocalSinPort());
  if (FSock->IP6used && !ForceOldPort) {
    const std::string family = IsIPv6Text(FDataIP) ? "2" : "1";
    return FTPCommand("EPRT |" + family + "|" + FDataIP + "|" + FDataPort + "|") / 100 == 2;
  }
  if (!IsIPv4Text(FDataIP)) return false;
  std::string address = FDataIP;
  for (char& c : address)
    if (c == '.') c = ',';
  const int port = std::atoi(FDataPort.c_str());
  return FTPCommand("PORT " + address + "," + std::to_string(port / 256) + "," + std::to_string(port % 256)) / 100 ==
         2;
}

bool TFTPSend::AcceptDataChannel() {
  if (!PassiveMode) {
    if (!FListenSock->CanRead(Timeout)) {
      FListenSock->CloseSocket();
      return false;
    }
    const TSocketHandle h = FListenSock->Accept();
    const bool accepted = FListenSock->LastError == 0;
    FListenSock->CloseSocket();
    if (!accepted) return false;
    FDSock->LineBuffer.clear();
    FDSock->ResetLastError();
    FDSock->StopFlag = false;
    FDSock->SetSocket(h);
  }
  if (FIsDataTLS) {
    // The control connection's settings, its server name, and its session to resume.
    TCustomSSL* control = FSock->SSL();
    const bool named = !control->SNIHost.empty();
    if (!named) control->SNIHost = TargetHost;
    FDSock->SSL()->Assign(*control);
    if (!named) control->SNIHost.clear();
    FDSock->SSLDoConnect();
    return FDSock->LastError == 0;
  }
  return true;
}

bool TFTPSend::BeginData() {
  FDataPhase = dpTransfer;
  if (AcceptDataChannel()) return true;
  FDSock->CloseSocket();
  FDataPhase = dpIdle;
  return false;
}

bool TFTPSend::EndData(bool Transferred) {
  FDSock->CloseSocket();
  ReadResult();
  ReadAbortReply();
  FDataPhase = dpFinished;
  const bool ok = Transferred && FResultCode / 100 == 2 && !FAbortSent;
  FDSock->CloseSocket();
  FDataPhase = dpIdle;
  return ok;
}

bool TFTPSend::DataRead(rtl::TStream& DestStream) {
  if (!BeginData()) return false;
  bool overflow = false;
  for (;;) {
    const ByteString piece = FDSock->RecvPacket(Timeout);
    if (FDSock->LastError != 0) break;
    if (FDataReadLimit > 0 && DestStream.Size() + static_cast<int64_t>(piece.size()) > FDataReadLimit) {
      overflow = true;  // closing the connection makes the server end the transfer
      break;
    }
    WriteBytesToStream(DestStream, piece);
  }
  return EndData(!overflow);
}

bool TFTPSend::DataWrite(rtl::TStream& SourceStream) {
  if (!BeginData()) return false;
  FDSock->SendStreamRaw(SourceStream);
  return EndData(FDSock->LastError == 0);
}

void TFTPSend::ReadAbortReply() {
  if (!FAbortSent) return;
  // The transfer's reply (426 or 226) came first; the ABOR's own (226 or 225) follows.
  const int32_t transferCode = FResultCode;
  const std::string transferLine = FResultString;
  const int32_t saved = Timeout;
  Timeout = std::min<int32_t>(Timeout, 5000);
  if (transferCode != 0) ReadResult();
  Timeout = saved;
  FResultCode = transferCode;
  FResultString = transferLine;
}

}  // namespace qelvo::net
