#pragma once
// What every window of the front end shares: a window procedure that forwards to the
// object and hands an escaping exception to the application-wide display, the message
// dispatch with keyboard navigation, and message pumping.
#include <string>

#include "rtl/exceptions.h"
#include "ui/win32/win_api.h"

namespace qelvo::ui::win32 {

class TWindow {
 public:
  virtual ~TWindow();
  TWindow() = default;
  TWindow(const TWindow&) = delete;
  TWindow& operator=(const TWindow&) = delete;
  HWND Handle() const { return hwnd_; }

 protected:
  // Registers the class (once per name) with this object's procedure.
  static void RegisterClassOnce(const wchar_t* name, HBRUSH background);
  // Creates the window of a registered class, bound to this object.
  void CreateHandle(DWORD exStyle, const wchar_t* cls, const std::wstring& text, DWORD style, int x, int y, int w,
                    int h, HWND parent);
  virtual LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);
  // Destroys the window and its controls while the object is whole: a window with members
  // its handler uses calls it first thing in its destructor.
  void DestroyHandle();
  LRESULT Default(UINT msg, WPARAM wp, LPARAM lp) { return ::DefWindowProcW(hwnd_, msg, wp, lp); }

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  HWND hwnd_ = nullptr;
};

// A child control of the given class, with the font and the identifier given.
HWND CreateControl(HWND parent, const wchar_t* cls, const std::wstring& text, DWORD style, DWORD exStyle, int id);

// "Não foi possível criar <what>" with the system's error code.
rtl::Exception WindowError(const std::string& what);

// The application-wide exception display: the failure's message in an error box.
void ShowUnhandledException(std::exception_ptr failure);

// One message through keyboard navigation (Tab, arrows, Enter) of the top window that
// has controls, else through the window procedure.
void DispatchUiMessage(MSG& m);
// Processes the pending messages once; a quit request stays queued for the main loop.
void PumpMessages();
// The main message loop: returns the quit code.
int RunMessageLoop();

}  // namespace qelvo::ui::win32
