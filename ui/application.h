#pragma once
// The application object: fonts and style for a stable look on any desktop, and the
// application-wide handler that shows a failure's message in a box.
#include <QApplication>
#include <QMessageBox>
#include <string>

namespace qelvo::ui {

class TApplication : public QApplication {
 public:
  TApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

// Registers Tahoma (from the Wine font set) and picks the style and colours the windows
// are drawn with. Called by TApplication; tests that make their own QApplication call it.
void SetUpLook();

// The box of the application-wide exception display.
void ShowExceptionBox(const std::string& message);

// Gives the box's standard buttons their Portuguese captions ("Sim", "Não", "OK", "Cancelar").
void NameButtonsInPortuguese(QMessageBox& box);

// Font of the given pixel height: Tahoma, or the closest sans face when it is missing.
QFont TahomaFont(int pixelHeight, bool bold = false);
// Trebuchet MS, or Tahoma in its place.
QFont TrebuchetFont(int pixelHeight, bool bold = false);

}  // namespace qelvo::ui
