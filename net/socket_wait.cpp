// TBlockSocket's waits: polling one socket or a group for readiness, the heartbeat and
// stop-flag loop behind CanRead and CanWrite, the bandwidth throttle, and the time budget
// a multi-packet read spends when the timeout covers the whole read.
#include <vector>

#include "net/socket_core.h"
#include "net/text_util.h"
#include "platform/clock.h"

namespace qelvo::net {

namespace {
// One poll of one socket for the given events; hang-up and error count as ready, so the
// next call reports them.
bool PollFor(TBlockSocket& sock, platform::TSocketHandle handle, std::vector<platform::TPollFd>& set,
             int16_t events, int32_t Timeout) {
  if (handle == platform::kInvalidSocket) {
    sock.ResetLastError();
    sock.LastError = wsa::WSAENOTSOCK;
    return false;
  }
  set.assign(1, platform::TPollFd{handle, events, 0});
  const int r = Sockets().WSAPoll(set.data(), 1, Timeout < 0 ? -1 : Timeout);
  sock.SockCheck(r);
  return sock.LastError == 0 && r > 0 && (set[0].revents & (events | wsa::WS_POLLHUP | wsa::WS_POLLERR)) != 0;
}
}  // namespace

bool TBlockSocket::PollReadable(int32_t Timeout) {
  return PollFor(*this, FSocket, FDset, wsa::WS_POLLRDNORM, Timeout);
}

bool TBlockSocket::PollWritable(int32_t Timeout) {
  return PollFor(*this, FSocket, FDset, wsa::WS_POLLWRNORM, Timeout);
}

namespace {
// Waits with heartbeats: Timeout mod rate first, then up to Timeout div rate + 1 polls of
// rate ms with a heartbeat before each. A stop request seen between polls ends the wait;
// stopped tells the caller so that it reports the abort rather than a timeout.
template <typename Poll, typename Heartbeat>
bool WaitWithHeartbeat(int32_t Timeout, int32_t rate, bool& stopFlag, bool& stopped, Poll poll, Heartbeat heartbeat) {
  stopped = false;
  auto stopRequested = [&] {
    if (!stopFlag) return false;
    stopFlag = false;
    stopped = true;
    return true;
  };
  if (rate != 0 && Timeout != -1) {
    bool r = poll(Timeout % rate);
    const int32_t rounds = Timeout / rate + 1;
    for (int32_t i = 0; !r && i < rounds; ++i) {
      if (stopRequested()) return false;
      heartbeat();
      r = poll(rate);
    }
    return r && !stopRequested();
  }
  bool r = poll(Timeout);
  if (!r && !stopFlag) r = poll(0);
  return r && !stopRequested();
}
}  // namespace

bool TBlockSocket::WaitReady(int32_t Timeout, bool Writable) {
  bool stopped = false;
  const bool r = WaitWithHeartbeat(
      Timeout, HeartbeatRate, StopFlag, stopped,
      [this, Writable](int32_t ms) { return Writable ? PollWritable(ms) : PollReadable(ms); },
      [this] { NotifyHeartbeat(); });
  if (stopped) LastError = WSAECONNABORTED;
  ExceptCheck();
  if (r) ReportStatus(Writable ? HR_CanWrite : HR_CanRead, "");
  return r;
}

bool TBlockSocket::CanRead(int32_t Timeout) { return WaitReady(Timeout, false); }

bool TBlockSocket::CanWrite(int32_t Timeout) { return WaitReady(Timeout, true); }

bool TBlockSocket::CanReadEx(int32_t Timeout) {
  if (!LineBuffer.empty()) return true;
  return CanRead(Timeout);
}

bool TBlockSocket::GroupCanRead(const std::vector<TBlockSocket*>& SocketList, int32_t Timeout,
                                std::vector<TBlockSocket*>& CanReadList) {
  CanReadList.clear();
  std::vector<platform::TPollFd> fds;
  std::vector<TBlockSocket*> owners;
  for (TBlockSocket* s : SocketList) {
    if (!s) continue;
    fds.push_back({s->Socket(), wsa::WS_POLLRDNORM, 0});
    owners.push_back(s);
  }
  if (fds.empty()) return false;
  const int r = Sockets().WSAPoll(fds.data(), static_cast<uint32_t>(fds.size()), Timeout < 0 ? -1 : Timeout);
  SockCheck(r);
  ExceptCheck();
  if (LastError != 0 || r <= 0) return false;
  for (size_t i = 0; i < fds.size(); ++i)
    if (fds[i].revents & (wsa::WS_POLLRDNORM | wsa::WS_POLLHUP | wsa::WS_POLLERR)) CanReadList.push_back(owners[i]);
  return !CanReadList.empty();
}

// ---- throttling ------------------------------------------------------------------

void TBlockSocket::ThrottleBandwidth(int32_t Length, int32_t Limit, uint32_t& NextTick) {
  if (StopFlag || Limit <= 0) return;
  const uint32_t now = TickNow();
  if (static_cast<int32_t>(NextTick - now) > 0) {
    const uint32_t w = NextTick - now;
    ReportStatus(HR_Wait, std::to_string(w));
    platform::Sleep(w % 250);
    for (uint32_t i = 0; i < w / 250 && !StopFlag; ++i) platform::Sleep(250);
  }
  NextTick = TickNow() + static_cast<uint32_t>(static_cast<double>(Length) / Limit * 1000.0);
}

bool TBlockSocket::SpendWaitTime(int32_t& TimeLeft, uint32_t StartTick) {
  if (InterPacketTimeout || TimeLeft == -1) return true;
  TimeLeft -= static_cast<int32_t>(TickSpan(StartTick, TickNow()));
  if (TimeLeft > 0) return true;
  LastError = WSAETIMEDOUT;
  return false;
}

}  // namespace qelvo::net
