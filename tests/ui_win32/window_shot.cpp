#include "window_shot.h"

#include <zlib.h>

#include <cstdio>
#include <memory>

namespace qelvo::ui::win32::testing {
namespace {

void Put32(std::string& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((v >> shift) & 0xFF);
}

void Chunk(std::string& out, const char* type, const std::string& data) {
  Put32(out, static_cast<uint32_t>(data.size()));
  std::string body(type, 4);
  body += data;
  out += body;
  Put32(out, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
}

}  // namespace

namespace {

// The rectangle of the source device context, copied into a picture.
TShot Copy(HDC source, int x, int y, int width, int height) {
  TShot shot;
  shot.Width = width;
  shot.Height = height;
  if (width <= 0 || height <= 0) return shot;
  HDC mem = ::CreateCompatibleDC(source);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = -height;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bmp = ::CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  const HGDIOBJ old = ::SelectObject(mem, bmp);
  ::BitBlt(mem, 0, 0, width, height, source, x, y, SRCCOPY);
  ::GdiFlush();
  const auto* px = static_cast<const uint32_t*>(bits);
  shot.Pixels.assign(px, px + static_cast<size_t>(width) * static_cast<size_t>(height));
  for (auto& p : shot.Pixels) p &= 0xFFFFFF;
  ::SelectObject(mem, old);
  ::DeleteObject(bmp);
  ::DeleteDC(mem);
  return shot;
}

}  // namespace

TShot ShootClient(HWND w) {
  RECT r{};
  ::GetClientRect(w, &r);
  // The window's own surface: what it drew, whatever lies over it on the screen.
  ::RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  HDC dc = ::GetDC(w);
  TShot shot = Copy(dc, 0, 0, r.right, r.bottom);
  ::ReleaseDC(w, dc);
  return shot;
}

TShot ShootFromScreen(HWND w) {
  RECT r{};
  ::GetWindowRect(w, &r);
  HDC screen = ::GetDC(nullptr);
  TShot shot = Copy(screen, r.left, r.top, r.right - r.left, r.bottom - r.top);
  ::ReleaseDC(nullptr, screen);
  return shot;
}

bool SavePng(const TShot& shot, const std::string& file) {
  std::string raw;
  raw.reserve(static_cast<size_t>(shot.Height) * (static_cast<size_t>(shot.Width) * 3 + 1));
  for (int y = 0; y < shot.Height; ++y) {
    raw += '\0';  // no filter
    for (int x = 0; x < shot.Width; ++x) {
      const uint32_t p = shot.At(x, y);
      raw += static_cast<char>((p >> 16) & 0xFF);
      raw += static_cast<char>((p >> 8) & 0xFF);
      raw += static_cast<char>(p & 0xFF);
    }
  }
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  std::string packed(packedSize, '\0');
  if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize, reinterpret_cast<const Bytef*>(raw.data()),
                static_cast<uLong>(raw.size()), 9) != Z_OK)
    return false;
  packed.resize(packedSize);
  std::string png("\x89PNG\r\n\x1a\n", 8);
  std::string header;
  Put32(header, static_cast<uint32_t>(shot.Width));
  Put32(header, static_cast<uint32_t>(shot.Height));
  header += std::string("\x08\x02\x00\x00\x00", 5);  // 8-bit RGB, deflate, no filter set, no interlace
  Chunk(png, "IHDR", header);
  Chunk(png, "IDAT", packed);
  Chunk(png, "IEND", "");
  std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(file.c_str(), "wb"), std::fclose);
  return f && std::fwrite(png.data(), 1, png.size(), f.get()) == png.size();
}

}  // namespace qelvo::ui::win32::testing
