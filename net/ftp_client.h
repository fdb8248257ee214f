#pragma once
// TFTPSend: a blocking FTP client over two stream sockets, Sock for the control
// connection and DSock for data connections.
//
// Commands go out one line at a time (FTPCommand) and every reply, single or multi-line,
// is read whole by ReadResult into ResultCode, ResultString and FullResult. Login runs a
// logon script: a small table of steps that send USER/PASS/ACCT (or a firewall's own
// dialogue) and branch on the reply class; the eight firewall schemes are tables too,
// and a caller can supply its own (FWMode -1). Data connections are passive (EPSV, else
// PASV) or active (EPRT, else PORT). Transfers go into DataStream or straight into a
// file, resumable with REST.
//
// Nothing raises on network failures: operations return false (or -1 / "") and leave the
// last reply in ResultCode and the socket error in Sock/DSock.LastError. Replies are
// bounded in line length and line count, and command arguments may not carry line breaks,
// so neither a peer nor a file name can make the client grow without end or send a
// command nobody asked for.
//
// Files: ftp_commands.cpp (replies, login, simple commands), ftp_logon.cpp (logon
// scripts), ftp_data_channel.cpp (PASV/EPSV/PORT/EPRT and the data reads/writes),
// ftp_transfer.cpp (RETR/STOR/STOU/APPE/LIST and aborting).
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "net/ftp_list.h"
#include "net/net_client.h"
#include "net/tcp_socket.h"
#include "rtl/stream.h"
#include "rtl/string_list.h"

namespace qelvo::net {

class TFTPSend;

using TFTPStatus = std::function<void(TFTPSend* Sender, bool Response, const std::string& Value)>;

// Six steps of [command, next step on 2xx, next step on 3xx]; a next step is the byte
// index of a step (0, 3, ..., 15), 255 (logged in) or 254 (failed).
using TLogonActions = std::array<uint8_t, 18>;

inline constexpr uint8_t cLogonDone = 255;
inline constexpr uint8_t cLogonFailed = 254;

// The logon table of a firewall mode; mode 0 for modes outside 0..8 (mode -1 is the
// caller's CustomLogon and not in this table).
const TLogonActions& FirewallLogonTable(int32_t Mode);

inline constexpr const char* cFtpProtocol = "21";
inline constexpr const char* cFtpDataProtocol = "20";

class TFTPSend : public TNetClient {
 public:
  // A reply of more lines than this, or a line longer than cMaxReplyLine, ends the read
  // with ResultCode 0 and Sock.LastError 10055.
  static constexpr int cMaxReplyLines = 1000;
  static constexpr int32_t cMaxReplyLine = 8192;

  TFTPSend();
  ~TFTPSend() override;

  TFTPStatus OnStatus;
  TTCPBlockSocket* Sock() const { return FSock.get(); }
  TTCPBlockSocket* DSock() const { return FDSock.get(); }
  // The TLS layer of the control and data connections (settings go on Sock's; data
  // connections take them from there).
  void SetSSLClass(const TSSLClass& SSLPlugin) {
    FSock->SetSSLClass(SSLPlugin);
    FDSock->SetSSLClass(SSLPlugin);
  }
  int32_t ResultCode() const { return FResultCode; }
  const std::string& ResultString() const { return FResultString; }
  rtl::TStringList& FullResult() { return FFullResult; }
  std::string Account;
  std::string FWHost;
  std::string FWPort = cFtpProtocol;
  std::string FWUsername;
  std::string FWPassword;
  int32_t FWMode = 0;
  rtl::TMemoryStream& DataStream() { return FDataStream; }
  const std::string& DataIP() const { return FDataIP; }
  const std::string& DataPort() const { return FDataPort; }
  bool DirectFile = false;
  std::string DirectFileName;
  bool CanResume() const { return FCanResume; }
  bool PassiveMode = true;
  bool ForceDefaultPort = false;
  bool ForceOldPort = false;
  // Passive connections go to the control connection's peer unless this is set: a PASV
  // reply may name any host (servers behind NAT name private addresses).
  bool TrustPasvAddress = false;
  TFTPList& FtpList() { return FFtpList; }
  bool BinaryMode = true;
  bool AutoTLS = false;
  bool IsTLS() const { return FIsTLS; }
  bool IsDataTLS() const { return FIsDataTLS; }
  bool TLSonData = true;
  bool FullSSL = false;
  // With AutoTLS: a server that refuses AUTH TLS ends the login before any credentials
  // go out in the clear.
  bool RequireTLS = false;
  TLogonActions CustomLogon{};
  // Restart offset of a resumed RetrieveFile; -1 takes the size of the target.
  int64_t ResumeFrom = -1;

  // Where the data connection of a transfer stands, for whoever watches DSock's closes:
  // dpIdle (no transfer: the close that precedes opening a data connection),
  // dpTransfer (data flowing, or its connection just ended), dpFinished (the transfer's
  // final reply has been read).
  enum TDataPhase : uint8_t { dpIdle, dpTransfer, dpFinished };
  TDataPhase DataPhase() const { return FDataPhase; }

  int32_t ReadResult();
  virtual void ParseRemote(const std::string& Value);
  virtual void ParseRemoteEPSV(const std::string& Value);
  int32_t FTPCommand(const std::string& Value);
  virtual bool Login();
  virtual bool Logout();
  virtual void Abort();
  virtual void TelnetAbort();
  virtual bool List(const std::string& Directory, bool NameList);
  virtual bool RetrieveFile(const std::string& FileName, bool Restore);
  virtual bool StoreFile(const std::string& FileName, bool Restore);
  virtual bool StoreUniqueFile();
  virtual bool AppendFile(const std::string& FileName);
  virtual bool RenameFile(const std::string& OldName, const std::string& NewName);
  virtual bool DeleteFile(const std::string& FileName);
  virtual int64_t FileSize(const std::string& FileName);
  virtual bool NoOp();
  virtual bool ChangeWorkingDir(const std::string& Directory);
  virtual bool ChangeToParentDir();
  virtual bool ChangeToRootDir();
  virtual bool DeleteDir(const std::string& Directory);
  virtual bool CreateDir(const std::string& Directory);
  virtual std::string GetCurrentDir();
  virtual bool DataRead(rtl::TStream& DestStream);
  virtual bool DataWrite(rtl::TStream& SourceStream);

  // The text a logon command number stands for (USER, PASS, SITE, OPEN, ...).
  std::string LogonCommandText(uint8_t Command) const;

 protected:
  virtual bool RunLogonScript(int32_t Mode);
  virtual bool ConnectControl();
  // The handshake on the control connection, checked against TargetHost unless SNIHost names another.
  void StartControlTLS();
  virtual bool StoreData(const std::string& Command, int64_t RestartPosition);
  virtual bool OpenDataChannel();
  virtual bool AcceptDataChannel();
  virtual void ReportFtpStatus(bool Response, const std::string& Value);

  bool OpenPassive();
  bool OpenActive();
  // TargetHost, with ":" + TargetPort when the port is not 21.
  std::string FirewallTargetHost() const;
  // The data connection of a transfer, accepted when active; false closes it.
  bool BeginData();
  // Closes the data connection and reads the final reply (the phases the download driver
  // watches); true when Transferred and the reply is a 2xx without an abort.
  bool EndData(bool Transferred);
  // After a transfer cut by Abort, the ABOR's own reply follows the transfer's.
  void ReadAbortReply();

  std::unique_ptr<TTCPBlockSocket> FSock;
  std::unique_ptr<TTCPBlockSocket> FDSock;
  // The listening socket of an active data connection; unhooked, so that its close is
  // not mistaken for the end of a transfer.
  std::unique_ptr<TTCPBlockSocket> FListenSock;
  int32_t FResultCode = 0;
  std::string FResultString;
  rtl::TStringList FFullResult;
  rtl::TMemoryStream FDataStream;
  std::string FDataIP;
  std::string FDataPort;
  bool FCanResume = false;
  TFTPList FFtpList;
  bool FIsTLS = false;
  bool FIsDataTLS = false;
  bool FAbortSent = false;
  TDataPhase FDataPhase = dpIdle;
  // Largest transfer DataRead keeps (listings); 0: no limit.
  int64_t FDataReadLimit = 0;
};

}  // namespace qelvo::net
