// The cabinet probe through cabinet.dll, loaded at run time on first use. The library
// reads through callbacks; the one "file" it is given is the caller's stream.
#include "platform/cabinet.h"

#include "platform/win32/windows_api.h"

#include <fdi.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace qelvo::platform {
namespace {

using TFDICreate = HFDI(DIAMONDAPI*)(PFNALLOC, PFNFREE, PFNOPEN, PFNREAD, PFNWRITE, PFNCLOSE, PFNSEEK, int, PERF);
using TFDIIsCabinet = BOOL(DIAMONDAPI*)(HFDI, INT_PTR, PFDICABINETINFO);
using TFDIDestroy = BOOL(DIAMONDAPI*)(HFDI);

struct TCabinetLibrary {
  HMODULE Module = nullptr;
  TFDICreate Create = nullptr;
  TFDIIsCabinet IsCabinet = nullptr;
  TFDIDestroy Destroy = nullptr;
};

// Loaded once and kept for the process, like the sockets library.
const TCabinetLibrary* Library() {
  static TCabinetLibrary lib;
  static std::once_flag once;
  std::call_once(once, [] {
    HMODULE m = ::LoadLibraryW(L"cabinet.dll");
    if (!m) return;
    lib.Create = reinterpret_cast<TFDICreate>(reinterpret_cast<void*>(::GetProcAddress(m, "FDICreate")));
    lib.IsCabinet = reinterpret_cast<TFDIIsCabinet>(reinterpret_cast<void*>(::GetProcAddress(m, "FDIIsCabinet")));
    lib.Destroy = reinterpret_cast<TFDIDestroy>(reinterpret_cast<void*>(::GetProcAddress(m, "FDIDestroy")));
    if (lib.Create && lib.IsCabinet && lib.Destroy) lib.Module = m;
    else ::FreeLibrary(m);
  });
  return lib.Module ? &lib : nullptr;
}

rtl::TStream* StreamOf(INT_PTR hf) { return reinterpret_cast<rtl::TStream*>(hf); }

void* DIAMONDAPI Alloc(ULONG cb) { return std::malloc(cb); }
void DIAMONDAPI Free(void* p) { std::free(p); }
// Only the stream handed to the probe is ever read; the library opens nothing itself.
INT_PTR DIAMONDAPI Open(char*, int, int) { return -1; }
UINT DIAMONDAPI Read(INT_PTR hf, void* pv, UINT cb) {
  try {
    return static_cast<UINT>(StreamOf(hf)->Read(pv, cb));
  } catch (...) {
    return static_cast<UINT>(-1);
  }
}
UINT DIAMONDAPI Write(INT_PTR, void*, UINT) { return static_cast<UINT>(-1); }
int DIAMONDAPI Close(INT_PTR) { return 0; }
long DIAMONDAPI Seek(INT_PTR hf, long dist, int seekType) {
  try {
    const rtl::TSeekOrigin o = seekType == SEEK_SET ? rtl::soBeginning : seekType == SEEK_CUR ? rtl::soCurrent : rtl::soEnd;
    return static_cast<long>(StreamOf(hf)->Seek(dist, o));
  } catch (...) {
    return -1;
  }
}

}  // namespace

TCabinetProbe ProbeCabinetStream(rtl::TStream& stream) {
  const TCabinetLibrary* lib = Library();
  if (!lib) return TCabinetProbe::NoLibrary;
  ERF erf{};
  HFDI fdi = lib->Create(Alloc, Free, Open, Read, Write, Close, Seek, cpuUNKNOWN, &erf);
  if (!fdi) return TCabinetProbe::NotCabinet;
  // The library reads from the file's current position: the probe asks from the start.
  const int64_t position = stream.Position();
  stream.Seek(0, rtl::soBeginning);
  FDICABINETINFO info{};
  const BOOL is = lib->IsCabinet(fdi, reinterpret_cast<INT_PTR>(&stream), &info);
  lib->Destroy(fdi);
  stream.Seek(position, rtl::soBeginning);
  return is ? TCabinetProbe::Cabinet : TCabinetProbe::NotCabinet;
}

}  // namespace qelvo::platform
