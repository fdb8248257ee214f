#pragma once
// The windows' fonts: Tahoma at the design's pixel heights, Trebuchet MS for the header
// with Tahoma in its place where it is not installed.
#include <string>

#include "ui/win32/dpi.h"
#include "ui/win32/gdi.h"

namespace qelvo::ui::win32 {

bool FontInstalled(const std::wstring& face);

// A font whose characters are pixelHeight pixels high at 96 dpi.
TFont MakeFont(const std::wstring& face, int pixelHeight, bool bold, TDpi dpi, BYTE charSet = DEFAULT_CHARSET);
TFont TahomaFont(int pixelHeight, TDpi dpi, bool bold = false);
TFont TrebuchetFont(int pixelHeight, TDpi dpi, bool bold = false);

}  // namespace qelvo::ui::win32
