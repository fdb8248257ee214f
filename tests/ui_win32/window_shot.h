#pragma once
// Pictures of windows for a person to compare with the Qt renders: the window drawn into
// a bitmap and saved as PNG.
#include <cstdint>
#include <string>
#include <vector>

#include "ui/win32/win_api.h"

namespace qelvo::ui::win32::testing {

struct TShot {
  int Width = 0, Height = 0;
  std::vector<uint32_t> Pixels;  // 0x00RRGGBB, rows top to bottom
  uint32_t At(int x, int y) const { return Pixels[static_cast<size_t>(y) * static_cast<size_t>(Width) + static_cast<size_t>(x)]; }
};

// The client area of the window, as drawn by the window itself.
TShot ShootClient(HWND w);
// The whole window (frame included) as the screen shows it: for a window of another process.
TShot ShootFromScreen(HWND w);

// Writes the picture as an 8-bit RGB PNG; false when the file cannot be written.
bool SavePng(const TShot& shot, const std::string& file);

inline constexpr uint32_t Rgb(int r, int g, int b) {
  return (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(g) << 8) | static_cast<uint32_t>(b);
}

}  // namespace qelvo::ui::win32::testing
