#pragma once
// Owners of GDI and icon handles, freed on every path.
#include "ui/win32/win_api.h"

namespace qelvo::ui::win32 {

template <typename H, BOOL(WINAPI* Free)(H)>
class THandle {
 public:
  THandle() = default;
  explicit THandle(H h) : h_(h) {}
  ~THandle() { Reset(); }
  THandle(const THandle&) = delete;
  THandle& operator=(const THandle&) = delete;
  THandle(THandle&& o) noexcept : h_(o.h_) { o.h_ = nullptr; }
  THandle& operator=(THandle&& o) noexcept {
    if (this != &o) {
      Reset();
      h_ = o.h_;
      o.h_ = nullptr;
    }
    return *this;
  }
  void Reset(H h = nullptr) {
    if (h_) Free(h_);
    h_ = h;
  }
  H Get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }

 private:
  H h_ = nullptr;
};

inline BOOL WINAPI FreeGdiObject(HGDIOBJ h) { return ::DeleteObject(h); }
inline BOOL WINAPI FreeFont(HFONT h) { return FreeGdiObject(h); }
inline BOOL WINAPI FreeBrush(HBRUSH h) { return FreeGdiObject(h); }

using TFont = THandle<HFONT, FreeFont>;
using TBrush = THandle<HBRUSH, FreeBrush>;
using TIcon = THandle<HICON, ::DestroyIcon>;

}  // namespace qelvo::ui::win32
