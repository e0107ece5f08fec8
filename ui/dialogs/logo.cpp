#include "dialogs/logo.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QUrl>

#include "qtglue/app_icon.h"

namespace verbalon::ui {

namespace {

constexpr int kFrame = 2;

QWidget* whitePanel(QWidget* parent, const QRect& place, const QString& name) {
  auto* panel = new QWidget(parent);
  panel->setObjectName(name);
  panel->setGeometry(place);
  panel->setAutoFillBackground(true);
  return panel;
}

QString aboutLine() {
  return QUrl(QLatin1String(kMakerAddress)).host() + QStringLiteral(" © ") +
         QString::number(kIssueYear);
}

}  // namespace

TfLogo::TfLogo(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setObjectName(QStringLiteral("fLogo"));
  setWindowIcon(appIcon());
  setFixedSize(298, 236);
  QPalette white = palette();
  white.setColor(QPalette::Window, Qt::white);
  setPalette(white);
  setAutoFillBackground(true);

  auto* Image1 = new QLabel(this);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setGeometry(8, 8, 281, 185);
  Image1->setAlignment(Qt::AlignCenter);
  Image1->setPixmap(productPicture());

  pnInfo = whitePanel(this, QRect(kFrame, 198, 294, 36), QStringLiteral("pnInfo"));
  auto* lb = new QLabel(QStringLiteral("Идёт загрузка ..."), pnInfo);
  lb->setObjectName(QStringLiteral("lb"));
  QFont serif(QStringLiteral("MS Serif"), 8);
  serif.setStyleHint(QFont::Serif);
  lb->setFont(serif);
  lb->move(7, 6);
  lb->adjustSize();

  // Created after lb, so it lies above it and hides it once shown.
  pnAbout = whitePanel(pnInfo, QRect(0, 0, 294, 36), QStringLiteral("pnAbout"));
  pnAbout->hide();
  Label1 = new QLabel(aboutLine(), pnAbout);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setTextFormat(Qt::PlainText);
  QFont link(QStringLiteral("Arial"), 8, QFont::Bold);
  link.setStyleHint(QFont::SansSerif);
  link.setUnderline(true);
  Label1->setFont(link);
  QPalette blue = Label1->palette();
  blue.setColor(QPalette::WindowText, QColor(0, 0, 255));
  Label1->setPalette(blue);
  Label1->setCursor(Qt::PointingHandCursor);
  Label1->adjustSize();
  Label1->move((pnAbout->width() - Label1->width()) / 2, 13);
  Label1->installEventFilter(this);

  // Above the address when there is one; the strip is too narrow for it in one row of 8 points.
  lbNote = new QLabel(pnAbout);
  lbNote->setObjectName(QStringLiteral("lbNote"));
  lbNote->setTextFormat(Qt::PlainText);
  lbNote->setAlignment(Qt::AlignCenter);
  lbNote->setWordWrap(true);
  QFont small(QStringLiteral("Arial"), 6);
  small.setStyleHint(QFont::SansSerif);
  lbNote->setFont(small);
  lbNote->setGeometry(2, 0, pnAbout->width() - 4, 22);
  lbNote->hide();
}

void TfLogo::setNote(const QString& line) {
  lbNote->setText(line);
  lbNote->setVisible(!line.isEmpty());
  Label1->move(Label1->x(), line.isEmpty() ? 13 : 22);
}

void TfLogo::showSplash() {
  centreOnDesktop();
  show();
  raise();
  repaint();
  // Start-up keeps the event loop busy until the index is loaded; let the window system map and
  // draw the splash now, without acting on the user's input yet.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TfLogo::showAbout() {
  pnAbout->show();
  centreOnDesktop();
  exec();
}

void TfLogo::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormShow();
}

void TfLogo::FormShow() {
  pnInfo->show();
}

void TfLogo::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect all = rect();
  painter.fillRect(all.left(), all.top(), all.width(), kFrame, Qt::black);
  painter.fillRect(all.left(), all.bottom() - kFrame + 1, all.width(), kFrame, Qt::black);
  painter.fillRect(all.left(), all.top(), kFrame, all.height(), Qt::black);
  painter.fillRect(all.right() - kFrame + 1, all.top(), kFrame, all.height(), Qt::black);
}

// The picture, the strip and the frame pass their clicks on to the window; the click counts on
// release, as buttons do.
void TfLogo::mousePressEvent(QMouseEvent* event) {
  event->accept();
}

void TfLogo::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
    FormClick();
  }
}

bool TfLogo::eventFilter(QObject* watched, QEvent* event) {
  if (watched != Label1) {
    return QDialog::eventFilter(watched, event);
  }
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
      return true;  // the address must not close the window
    case QEvent::MouseButtonRelease: {
      const auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() == Qt::LeftButton &&
          Label1->rect().contains(mouse->position().toPoint())) {
        Label1Click();
      }
      return true;
    }
    default:
      return QDialog::eventFilter(watched, event);
  }
}

void TfLogo::FormClick() {
  reject();
}

// Whether a browser came up is not ours to report.
void TfLogo::Label1Click() {
  QDesktopServices::openUrl(QUrl(QLatin1String(kMakerAddress)));
}

void TfLogo::centreOnDesktop() {
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect place = rect();
    place.moveCenter(screen->availableGeometry().center());
    move(place.topLeft());
  }
}

}  // namespace verbalon::ui
