#pragma once
// Records a socket's status and monitor hooks as readable lines ("HR_Connect 127.0.0.1:80",
// "monitor write 42") so tests can compare whole sequences.
#include <string>
#include <vector>

#include "net/socket_core.h"

namespace qelvo::net::testing {

struct HookLog {
  std::vector<std::string> lines;
  bool withMonitor = true;
  bool withCounts = true;  // keep the byte counts of ReadCount/WriteCount/monitor

  void Attach(TBlockSocket& s) {
    s.OnStatus = [this](TBlockSocket*, THookSocketReason r, const std::string& v) {
      if (!withCounts && (r == HR_ReadCount || r == HR_WriteCount)) lines.push_back(HookSocketReasonName(r));
      else lines.push_back(std::string(HookSocketReasonName(r)) + (v.empty() ? "" : " " + v));
    };
    s.OnMonitor = [this](TBlockSocket*, bool writing, const void*, int32_t len) {
      if (!withMonitor) return;
      std::string line = writing ? "monitor write" : "monitor read";
      if (withCounts) line.append(" ").append(std::to_string(len));
      lines.push_back(line);
    };
  }
  bool Contains(const std::string& line) const {
    for (const auto& l : lines)
      if (l == line) return true;
    return false;
  }
  std::string Joined() const {
    std::string s;
    for (const auto& l : lines) s += l + "\n";
    return s;
  }
};

}  // namespace qelvo::net::testing
