#pragma once
// A modal text input box with OK and Cancel, in the window class kInputBoxClass so that
// a driver outside the program can find it: the edit control has the identifier
// kInputBoxEditId, the buttons IDOK and IDCANCEL.
#include <optional>
#include <string>

#include "ui/win32/win_api.h"

namespace qelvo::ui::win32 {

inline constexpr const wchar_t* kInputBoxClass = L"QelvoInputBox";
inline constexpr int kInputBoxEditId = 101;

// The text typed, or nullopt for Cancel, Escape or closing the box.
std::optional<std::string> RunInputBox(HWND owner, const std::string& caption, const std::string& prompt,
                                       const std::string& defaultText);

}  // namespace qelvo::ui::win32
