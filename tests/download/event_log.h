#pragma once
// Records every event of a TQvDownload in order, for assertions on sequence and figures.
#include <string>
#include <vector>

#include "download/qv_download.h"

namespace qelvo::download::test {

struct TEvent {
  enum Kind { Before, After, Hook, Monitor, Status } kind;
  void* sender = nullptr;
  net::THookSocketReason reason = net::HR_Error;
  int32_t toDownload = 0;
  int32_t downloaded = 0;
  double speed = 0;
  uint16_t hour = 0, min = 0, sec = 0;
  TDownloadStatus status = stNone;
};

class EventLog {
 public:
  // Installs handlers on all five events; onMonitor runs after each monitor record.
  void Attach(TQvDownload& d, std::function<void(const TEvent&)> onMonitor = nullptr) {
    d.SetOnBeforeDownload([this](void* s) { events.push_back({TEvent::Before, s}); });
    d.SetOnAfterDownload([this](void* s) { events.push_back({TEvent::After, s}); });
    d.SetOnHookStatus([this](void* s, net::THookSocketReason r, int32_t t, int32_t b) {
      TEvent e{TEvent::Hook, s};
      e.reason = r;
      e.toDownload = t;
      e.downloaded = b;
      events.push_back(e);
    });
    d.SetOnHookMonitor([this, onMonitor](void* s, int32_t t, int32_t b, double v, uint16_t h, uint16_t m, uint16_t sec) {
      TEvent e{TEvent::Monitor, s};
      e.toDownload = t;
      e.downloaded = b;
      e.speed = v;
      e.hour = h;
      e.min = m;
      e.sec = sec;
      events.push_back(e);
      if (onMonitor) onMonitor(e);
    });
    d.SetOnDownloadStatus([this](void* s, TDownloadStatus st) {
      TEvent e{TEvent::Status, s};
      e.status = st;
      events.push_back(e);
    });
  }

  std::vector<TEvent> Of(TEvent::Kind kind) const {
    std::vector<TEvent> out;
    for (const auto& e : events)
      if (e.kind == kind) out.push_back(e);
    return out;
  }
  std::vector<TEvent> Hooks(net::THookSocketReason reason) const {
    std::vector<TEvent> out;
    for (const auto& e : events)
      if (e.kind == TEvent::Hook && e.reason == reason) out.push_back(e);
    return out;
  }
  // The sequence of hook reasons and Before/After marks, as text: "B C R X A".
  std::string Outline() const {
    std::string s;
    for (const auto& e : events) {
      char c = 0;
      if (e.kind == TEvent::Before) c = 'B';
      if (e.kind == TEvent::After) c = 'A';
      if (e.kind == TEvent::Hook) c = e.reason == net::HR_Connect ? 'C' : e.reason == net::HR_ReadCount ? 'R' : 'X';
      if (c) s += s.empty() ? std::string(1, c) : std::string(" ") + c;
    }
    return s;
  }

  std::vector<TEvent> events;
};

}  // namespace qelvo::download::test
