// Shell operations through the Windows shell: ShellExecuteW, and shortcuts written by the
// shell link object (IShellLinkW, saved through IPersistFile).
#include "platform/shell.h"

#include "platform/win32/windows_api.h"

#include <objbase.h>
#include <objidl.h>
#include <shellapi.h>
#include <shlobj.h>

namespace qelvo::platform {
namespace {

// COM for the calling thread, when it has none yet; undone with the object.
class TComScope {
 public:
  TComScope() : hr_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~TComScope() {
    if (SUCCEEDED(hr_)) ::CoUninitialize();
  }
  TComScope(const TComScope&) = delete;
  TComScope& operator=(const TComScope&) = delete;

 private:
  HRESULT hr_;
};

// Releases an interface on every path.
template <typename T>
class TComRef {
 public:
  TComRef() = default;
  ~TComRef() {
    if (p_) p_->Release();
  }
  TComRef(const TComRef&) = delete;
  TComRef& operator=(const TComRef&) = delete;
  T** Out() { return &p_; }
  T* operator->() const { return p_; }
  T* Get() const { return p_; }

 private:
  T* p_ = nullptr;
};

}  // namespace

bool ShellOpen(const std::string& file) {
  const auto r = reinterpret_cast<INT_PTR>(
      ::ShellExecuteW(nullptr, L"open", win32::Wide(file).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  return r > 32;
}

bool SaveShellLink(const TShellLink& link, const std::string& linkFile) {
  TComScope com;
  TComRef<IShellLinkW> shellLink;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                IID_IShellLinkW, reinterpret_cast<void**>(shellLink.Out()))))
    return false;
  TComRef<IPersistFile> persist;
  if (FAILED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(persist.Out())))) return false;
  shellLink->SetDescription(win32::Wide(link.Description).c_str());
  shellLink->SetPath(win32::Wide(link.Path).c_str());
  // A new link has no arguments; setting an empty text would store an empty field.
  if (!link.Arguments.empty()) shellLink->SetArguments(win32::Wide(link.Arguments).c_str());
  shellLink->SetWorkingDirectory(win32::Wide(link.WorkingDirectory).c_str());
  return SUCCEEDED(persist->Save(win32::Wide(linkFile).c_str(), FALSE));
}

}  // namespace qelvo::platform
