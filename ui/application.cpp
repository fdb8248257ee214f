#include "ui/application.h"

#include <QAbstractButton>
#include <QFontDatabase>
#include <QMessageBox>
#include <QPalette>
#include <QStyleFactory>
#include <exception>

#include "ui/qt_text.h"

namespace qelvo::ui {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) { SetUpLook(); }

// Qt does not carry exceptions through its event dispatch; this is the backstop for a
// handler that lets one escape (the install button hands its failures over directly).
bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    ShowExceptionBox(e.what());
  } catch (...) {
    ShowExceptionBox("Erro desconhecido");
  }
  return false;
}

void SetUpLook() {
  for (const char* f : {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"})
    QFontDatabase::addApplicationFont(QString::fromLatin1(f));
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  QPalette p = QApplication::palette();
  const QColor buttonFace(240, 240, 240);
  p.setColor(QPalette::Window, buttonFace);
  p.setColor(QPalette::Button, buttonFace);
  p.setColor(QPalette::WindowText, Qt::black);
  QApplication::setPalette(p);
  QApplication::setFont(TahomaFont(11));
  QApplication::setApplicationName(QStringLiteral("Qelvo Install"));
  QApplication::setApplicationDisplayName(QStringLiteral("Qelvo Install"));
}

void ShowExceptionBox(const std::string& message) {
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Qelvo Install"), Q(message), QMessageBox::Ok,
                  QApplication::activeWindow());
  NameButtonsInPortuguese(box);
  box.exec();
}

// The captions a Brazilian Windows gives the standard buttons, whatever the locale of
// the machine the Qt front end runs on.
void NameButtonsInPortuguese(QMessageBox& box) {
  static const struct {
    QMessageBox::StandardButton Button;
    const char* Caption;
  } kCaptions[] = {
      {QMessageBox::Yes, "Sim"}, {QMessageBox::No, "Não"}, {QMessageBox::Ok, "OK"}, {QMessageBox::Cancel, "Cancelar"}};
  for (const auto& c : kCaptions)
    if (QAbstractButton* b = box.button(c.Button)) b->setText(QString::fromUtf8(c.Caption));
}

QFont TahomaFont(int pixelHeight, bool bold) {
  QFont f;
  f.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans")});
  f.setPixelSize(pixelHeight);
  f.setBold(bold);
  return f;
}

QFont TrebuchetFont(int pixelHeight, bool bold) {
  QFont f;
  f.setFamilies({QStringLiteral("Trebuchet MS"), QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans")});
  f.setPixelSize(pixelHeight);
  f.setBold(bold);
  return f;
}

}  // namespace qelvo::ui
