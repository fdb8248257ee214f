#include "ui/frm_principal.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QRadioButton>
#include <QScreen>
#include <algorithm>

#include "app/profiles.h"
#include "ui/application.h"
#include "ui/palette.h"
#include "ui/qt_text.h"

namespace qelvo::ui {
namespace {

const QColor kButtonFace(240, 240, 240);
constexpr int kConnectionInfoRight = 545;
constexpr int kBarTop = 177, kBarHeight = 20, kInfoHeight = 13;
constexpr int kButtonLeft = 180, kButtonTop = 203, kButtonWidth = 202, kButtonHeight = 54;
// The figures run wider than the free stretch of the bar's row beside the button, so
// they sit in the strip below the button, clear of the bar and the button.
constexpr int kInfoTop = kButtonTop + kButtonHeight + 6;

}  // namespace

QPixmap InstallButtonImage() {
  QImage img(32, 32, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  // A tray in the header's blue with a green arrow coming down into it.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0, 64, 128));
  QPainterPath tray;
  tray.addRoundedRect(QRectF(3, 20, 26, 9), 2, 2);
  p.drawPath(tray);
  p.setBrush(QColor(255, 255, 255, 200));
  p.drawRect(QRectF(7, 23, 18, 2));
  p.setBrush(QColor(30, 150, 60));
  QPolygonF arrow;
  arrow << QPointF(12, 2) << QPointF(20, 2) << QPointF(20, 11) << QPointF(26, 11) << QPointF(16, 21) << QPointF(6, 11)
        << QPointF(12, 11);
  p.drawPolygon(arrow);
  p.end();
  return QPixmap::fromImage(img);
}

TfrmPrincipalQelvoOneInstall::TfrmPrincipalQelvoOneInstall(TfrmStatus& status, TQtDialogs& dialogs, app::IShell& shell,
                                                           app::IComponentFactory& components,
                                                           app::TInstallerConfig config)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                           Qt::MSWindowsFixedSizeDialogHint),
      dialogs_(dialogs) {
  setObjectName(QStringLiteral("frmPrincipalQelvoOneInstall"));
  setWindowTitle(QStringLiteral("Qelvo Install"));
  setFixedSize(572, 348);
  setFont(TahomaFont(11));
  Fill(this, kButtonFace);

  Panel1 = new QWidget(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setGeometry(0, 0, 572, 65);
  Fill(Panel1, QColor(0, 64, 128));
  Label1 = new QLabel(QStringLiteral("Qelvo Tecnologia - Instalador"), Panel1);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setGeometry(306, 35, 252, 24);
  Label1->setFont(TrebuchetFont(19, true));
  // The fallback face runs wider than Trebuchet MS; tighten the letter spacing until the
  // caption fits the label's width instead of clipping it.
  {
    QFont f = Label1->font();
    const int length = static_cast<int>(Label1->text().size());
    for (int spacing = -1; spacing >= -3 && QFontMetrics(f).horizontalAdvance(Label1->text()) > Label1->width() &&
                           length > 0;
         --spacing) {
      f.setLetterSpacing(QFont::AbsoluteSpacing, spacing);
    }
    Label1->setFont(f);
  }
  QPalette lp = Label1->palette();
  lp.setColor(QPalette::WindowText, Qt::white);
  Label1->setPalette(lp);

  Panel2 = new QWidget(this);
  Panel2->setObjectName(QStringLiteral("Panel2"));
  Panel2->setGeometry(0, 65, 572, 283);
  Fill(Panel2, Qt::white);

  ProgressBar1 = new QProgressBar(Panel2);
  ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
  ProgressBar1->setGeometry(16, kBarTop, 543, kBarHeight);
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);

  cxButton1 = new QPushButton(QStringLiteral("Baixar e Instalar"), Panel2);
  cxButton1->setObjectName(QStringLiteral("cxButton1"));
  cxButton1->setGeometry(kButtonLeft, kButtonTop, kButtonWidth, kButtonHeight);
  cxButton1->setFont(TahomaFont(16));
  cxButton1->setIcon(QIcon(InstallButtonImage()));
  cxButton1->setIconSize(QSize(32, 32));

  rgProdutos = new QGroupBox(QStringLiteral("Produtos"), Panel2);
  rgProdutos->setObjectName(QStringLiteral("rgProdutos"));
  rgProdutos->setGeometry(16, 6, 543, 165);
  rgProdutos->setFont(TahomaFont(16));
  rgProdutosItems = new QButtonGroup(this);
  // Two columns filled top to bottom, the rows spread over the box below its caption.
  const auto& profiles = app::Profiles();
  const int count = static_cast<int>(profiles.size());
  const int perColumn = (count + 1) / 2;
  const int captionHeight = QFontMetrics(rgProdutos->font()).height();
  const int free = rgProdutos->height() - captionHeight - 5;
  const int rowHeight = free / perColumn;
  const int top = captionHeight + 1 + (free % perColumn) / 2;
  const int columnWidth = (rgProdutos->width() - 10) / 2;
  for (int i = 0; i < count; ++i) {
    auto* item = new QRadioButton(Q(profiles[static_cast<size_t>(i)].Caption), rgProdutos);
    item->setGeometry(8 + (i / perColumn) * columnWidth, top + (i % perColumn) * rowHeight, columnWidth, rowHeight);
    rgProdutosItems->addButton(item, i);
  }

  lConnectionInfo = new QLabel(Panel2);
  lConnectionInfo->setObjectName(QStringLiteral("lConnectionInfo"));
  lConnectionInfo->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  Fill(lConnectionInfo, kButtonFace);
  lConnectionInfo->raise();
  PlaceConnectionInfo();

  setTabOrder(ProgressBar1, cxButton1);
  setTabOrder(cxButton1, rgProdutosItems->button(0));

  dialogs_.SetOwner(this);
  status.SetCentreOver(this);
  installer_ = std::make_unique<app::TInstaller>(
      app::TInstallerPorts{*this, status.Display(), dialogs, dialogs, shell, components}, std::move(config));
  QObject::connect(cxButton1, &QPushButton::clicked, this, [this] { installer_->InstallButtonPressed(dialogs_); });
}

TfrmPrincipalQelvoOneInstall::~TfrmPrincipalQelvoOneInstall() = default;

void TfrmPrincipalQelvoOneInstall::ShowCentred() {
  if (const QScreen* s = QGuiApplication::primaryScreen()) {
    const QRect area = s->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
  }
  show();
}

int TfrmPrincipalQelvoOneInstall::ProfileIndex() const { return rgProdutosItems->checkedId(); }

void TfrmPrincipalQelvoOneInstall::SetProgressMax(int value) { ProgressBar1->setMaximum(value); }

// A position beyond the range shows at the nearer end (the download counts the bytes of
// a response head received with the body), where the Qt bar would ignore it.
void TfrmPrincipalQelvoOneInstall::SetProgressPosition(int value) {
  ProgressBar1->setValue(std::clamp(value, ProgressBar1->minimum(), ProgressBar1->maximum()));
}

void TfrmPrincipalQelvoOneInstall::SetConnectionInfo(const std::string& text) {
  lConnectionInfo->setText(Q(text));
  PlaceConnectionInfo();
}

// Auto-sized and right-justified: the text grows to the left from a fixed right edge.
// Placed in the bar's row it covered the bar's right end; below the button it hides
// neither and stays readable on its own background.
void TfrmPrincipalQelvoOneInstall::PlaceConnectionInfo() {
  const QString text = lConnectionInfo->text();
  const int width = text.isEmpty() ? 0 : QFontMetrics(lConnectionInfo->font()).horizontalAdvance(text) + 4;
  lConnectionInfo->setGeometry(kConnectionInfoRight - width, kInfoTop, width, kInfoHeight);
  lConnectionInfo->setVisible(width > 0);
}

void TfrmPrincipalQelvoOneInstall::SetInstallEnabled(bool enabled) { cxButton1->setEnabled(enabled); }

void TfrmPrincipalQelvoOneInstall::CloseMainWindow() {
  closing_ = true;
  close();
}

void TfrmPrincipalQelvoOneInstall::closeEvent(QCloseEvent* event) {
  if (closing_ || installer_->CloseQuery()) {
    event->accept();
  } else {
    event->ignore();  // the run closes the window when it ends
  }
}

}  // namespace qelvo::ui
