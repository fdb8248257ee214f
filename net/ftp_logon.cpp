// The logon script machine.
//
// A logon is a table of up to six steps. Each step names a command (USER, PASS, ACCT, or
// one of the firewall forms: SITE host, OPEN host, USER user@host, ...) and where to go
// on a 2xx and on a 3xx reply: another step, "logged in" (255) or "failed" (254). Any
// other reply class fails. The plain logon is USER, then PASS on 3xx, then ACCT on 3xx;
// each firewall scheme is its own table, chosen by FWMode when FWHost is set.
#include "net/ftp_client.h"

namespace qelvo::net {
namespace {

// Index = FWMode 0..8.
const TLogonActions kLogonTables[9] = {
    // 0: USER, PASS, ACCT straight to the server.
    {0, 255, 3, 1, 255, 6, 2, 255, 254, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    // 1: log into the firewall, SITE host, then USER/PASS/ACCT.
    {3, 6, 3, 4, 6, 254, 5, 254, 9, 0, 255, 12, 1, 255, 15, 2, 255, 254},
    // 2: log into the firewall, then USER user@host.
    {3, 6, 3, 4, 6, 254, 6, 255, 9, 1, 255, 12, 2, 255, 254, 0, 0, 0},
    // 3: log into the firewall, then USER/PASS/ACCT (the firewall connects itself).
    {3, 6, 3, 4, 6, 254, 0, 255, 9, 1, 255, 12, 2, 255, 254, 0, 0, 0},
    // 4: OPEN host, then USER/PASS/ACCT.
    {7, 3, 3, 0, 255, 6, 1, 255, 9, 2, 255, 254, 0, 0, 0, 0, 0, 0},
    // 5: USER user@host, PASS, ACCT.
    {6, 255, 3, 1, 255, 6, 2, 255, 254, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    // 6: USER fwuser@host, PASS fwpass, USER/PASS/ACCT.
    {8, 6, 3, 4, 6, 254, 0, 255, 9, 1, 255, 12, 2, 255, 254, 0, 0, 0},
    // 7: USER user@host fwuser, PASS, ACCT.
    {9, 254, 3, 1, 255, 6, 2, 255, 254, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    // 8: USER user@fwuser@host, PASS pass@fwpass, ACCT.
    {10, 255, 3, 11, 255, 6, 2, 255, 254, 0, 0, 0, 0, 0, 0, 0, 0, 0},
};

// A table can loop; a logon never needs more steps than this.
constexpr int kMaxLogonSteps = 32;

}  // namespace

const TLogonActions& FirewallLogonTable(int32_t Mode) {
  return kLogonTables[Mode >= 0 && Mode <= 8 ? Mode : 0];
}

std::string TFTPSend::FirewallTargetHost() const {
  return TargetPort == cFtpProtocol ? TargetHost : TargetHost + ":" + TargetPort;
}

std::string TFTPSend::LogonCommandText(uint8_t Command) const {
  const std::string host = FirewallTargetHost();
  switch (Command) {
    case 0: return "USER " + UserName;
    case 1: return "PASS " + Password;
    case 2: return "ACCT " + Account;
    case 3: return "USER " + FWUsername;
    case 4: return "PASS " + FWPassword;
    case 5: return "SITE " + host;
    case 6: return "USER " + UserName + "@" + host;
    case 7: return "OPEN " + host;
    case 8: return "USER " + FWUsername + "@" + host;
    case 9: return "USER " + UserName + "@" + host + " " + FWUsername;
    case 10: return "USER " + UserName + "@" + FWUsername + "@" + host;
    case 11: return "PASS " + Password + "@" + FWPassword;
    default: return "";
  }
}

bool TFTPSend::RunLogonScript(int32_t Mode) {
  const TLogonActions& table =
      FWHost.empty() ? FirewallLogonTable(0) : Mode == -1 ? CustomLogon : FirewallLogonTable(Mode);
  size_t step = 0;
  for (int n = 0; n < kMaxLogonSteps; ++n) {
    if (step > 15 || step % 3 != 0) return false;
    const std::string command = LogonCommandText(table[step]);
    if (command.empty()) return false;
    const int32_t replyClass = FTPCommand(command) / 100;
    uint8_t next;
    if (replyClass == 2)
      next = table[step + 1];
    else if (replyClass == 3)
      next = table[step + 2];
    else
      return false;
    if (next == cLogonDone) return true;
    if (next == cLogonFailed) return false;
    step = next;
  }
  return false;
}

}  // namespace qelvo::net
