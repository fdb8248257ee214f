#pragma once
// Names by which a program outside can find the windows and controls (the test driver):
// window classes and control identifiers.

namespace qelvo::ui::win32 {

inline constexpr const wchar_t* kMainClass = L"QelvoInstallMain";
inline constexpr const wchar_t* kStatusClass = L"QelvoInstallStatus";
inline constexpr const wchar_t* kInputBoxClass = L"QelvoInputBox";

inline constexpr int kProgressBarId = 2;
inline constexpr int kInstallButtonId = 10;
inline constexpr int kFirstProfileId = 20;  // profile i is kFirstProfileId + i
inline constexpr int kInputBoxEditId = 101;

}  // namespace qelvo::ui::win32
