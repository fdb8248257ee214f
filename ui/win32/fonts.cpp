#include "ui/win32/fonts.h"

namespace qelvo::ui::win32 {
namespace {

int CALLBACK FoundFace(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

}  // namespace

bool FontInstalled(const std::wstring& face) {
  LOGFONTW lf{};
  lf.lfCharSet = DEFAULT_CHARSET;
  face.copy(lf.lfFaceName, LF_FACESIZE - 1);
  bool found = false;
  HDC dc = ::GetDC(nullptr);
  if (!dc) return false;
  ::EnumFontFamiliesExW(dc, &lf, FoundFace, reinterpret_cast<LPARAM>(&found), 0);
  ::ReleaseDC(nullptr, dc);
  return found;
}

TFont MakeFont(const std::wstring& face, int pixelHeight, bool bold, TDpi dpi, BYTE charSet) {
  // A negative height asks for the character height, not the cell height.
  return TFont(::CreateFontW(-dpi(pixelHeight), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, charSet,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_SWISS,
                             face.c_str()));
}

TFont TahomaFont(int pixelHeight, TDpi dpi, bool bold) { return MakeFont(L"Tahoma", pixelHeight, bold, dpi); }

TFont TrebuchetFont(int pixelHeight, TDpi dpi, bool bold) {
  static const bool installed = FontInstalled(L"Trebuchet MS");
  return MakeFont(installed ? L"Trebuchet MS" : L"Tahoma", pixelHeight, bold, dpi, ANSI_CHARSET);
}

}  // namespace qelvo::ui::win32
