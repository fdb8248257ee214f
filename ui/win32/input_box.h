#pragma once
// A modal text input box with OK and Cancel (window_names.h: the class and the edit
// control's identifier; the buttons are IDOK and IDCANCEL).
#include <optional>
#include <string>

#include "ui/win32/win_api.h"
#include "ui/win32/window_names.h"

namespace qelvo::ui::win32 {

// The text typed, or nullopt for Cancel, Escape or closing the box.
std::optional<std::string> RunInputBox(HWND owner, const std::string& caption, const std::string& prompt,
                                       const std::string& defaultText);

}  // namespace qelvo::ui::win32
