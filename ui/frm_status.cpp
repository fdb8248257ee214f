#include "ui/frm_status.h"

#include <QKeyEvent>
#include <QScreen>
#include <QVBoxLayout>

#include "ui/application.h"
#include "ui/palette.h"
#include "ui/qt_text.h"

namespace qelvo::ui {
TfrmStatus::TfrmStatus(app::IMessagePump& pump)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint), display_(*this, pump) {
  setObjectName(QStringLiteral("frmStatus"));
  setFixedSize(759, 83);
  setFont(TahomaFont(11));
  Fill(this, Qt::white);

  // A black panel whose 2-pixel border shows around the two labels.
  Panel1 = new QWidget(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setGeometry(0, 0, 759, 83);
  Fill(Panel1, Qt::black);
  auto* layout = new QVBoxLayout(Panel1);
  layout->setContentsMargins(2, 2, 2, 2);
  layout->setSpacing(0);

  cxLabel1 = new QLabel(QStringLiteral("Qelvo ERP"), Panel1);
  cxLabel1->setObjectName(QStringLiteral("cxLabel1"));
  cxLabel1->setFixedHeight(24);
  cxLabel1->setFont(TahomaFont(13, true));
  cxLabel1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  Fill(cxLabel1, QColor(90, 88, 88));
  QPalette tp = cxLabel1->palette();
  tp.setColor(QPalette::WindowText, Qt::white);
  cxLabel1->setPalette(tp);

  lblStatus = new QLabel(QStringLiteral("Mensagem"), Panel1);
  lblStatus->setObjectName(QStringLiteral("lblStatus"));
  lblStatus->setFont(TahomaFont(13, true));
  lblStatus->setAlignment(Qt::AlignCenter);
  lblStatus->setWordWrap(true);
  Fill(lblStatus, Qt::white);

  layout->addWidget(cxLabel1);
  layout->addWidget(lblStatus, 1);
}

void TfrmStatus::SetMessageText(const std::string& text) { lblStatus->setText(Q(text)); }
void TfrmStatus::SetTitleText(const std::string& text) { cxLabel1->setText(Q(text)); }

void TfrmStatus::ShowInFront() {
  QRect over;
  if (centreOver_ && centreOver_->isVisible()) over = centreOver_->frameGeometry();
  else if (screen()) over = screen()->availableGeometry();
  if (over.isValid()) move(over.center() - QPoint(width() / 2, height() / 2));
  show();
  raise();
}

void TfrmStatus::HideWindow() { hide(); }

void TfrmStatus::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    uint16_t key = app::VK_ESCAPE;
    display_.FormKeyDown(key);
    return;
  }
  QWidget::keyPressEvent(event);
}

}  // namespace qelvo::ui
