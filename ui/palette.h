#pragma once
#include <QColor>
#include <QPalette>
#include <QWidget>

namespace qelvo::ui {

// Gives a widget a solid background of its own.
inline void Fill(QWidget* w, const QColor& c) {
  QPalette p = w->palette();
  p.setColor(QPalette::Window, c);
  w->setPalette(p);
  w->setAutoFillBackground(true);
}

}  // namespace qelvo::ui
