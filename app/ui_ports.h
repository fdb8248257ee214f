#pragma once
// The front end as the installer's logic sees it: the main window's working controls,
// the status window, the modal boxes, message pumping and the application-wide
// exception display. The Qt front end implements these; tests script them.
#include <string>

namespace qelvo::app {

class IMessagePump {
 public:
  virtual ~IMessagePump() = default;
  // Processes the pending window messages once and returns.
  virtual void ProcessMessages() = 0;
};

class IDialogs {
 public:
  virtual ~IDialogs() = default;
  // Yes/No box with a question icon; true only for Yes (No or closing the box: false).
  virtual bool Confirm(const std::string& text) = 0;
  // Plain box with an OK button; returns when it is dismissed.
  virtual void ShowMessage(const std::string& text) = 0;
  // Text input box; Cancel yields the empty text.
  virtual std::string InputBox(const std::string& caption, const std::string& prompt, const std::string& defaultText) = 0;
};

class IExceptionHandler {
 public:
  virtual ~IExceptionHandler() = default;
  // Shows a failure's message in a box and returns when it is dismissed.
  virtual void ShowException(const std::string& message) = 0;
};

class IMainView {
 public:
  virtual ~IMainView() = default;
  // Item index of the profile radio group, -1 when none is selected.
  virtual int ProfileIndex() const = 0;
  virtual void SetProgressMax(int value) = 0;
  virtual void SetProgressPosition(int value) = 0;
  virtual void SetConnectionInfo(const std::string& text) = 0;
  virtual void SetInstallEnabled(bool enabled) = 0;
  // Closes the main window now (the close request is not asked again).
  virtual void CloseMainWindow() = 0;
};

class IStatusView {
 public:
  virtual ~IStatusView() = default;
  virtual void SetMessageText(const std::string& text) = 0;
  virtual void SetTitleText(const std::string& text) = 0;
  // Shows the window non-modally, centred over the main window, and brings it to the front.
  virtual void ShowInFront() = 0;
  virtual void HideWindow() = 0;
};

}  // namespace qelvo::app
