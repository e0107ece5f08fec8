#include "dialogs/dict_info.h"

#include <QLabel>
#include <QMouseEvent>
#include <QString>

#include "qtglue/app_icon.h"
#include "qtglue/qt_text.h"

namespace verbalon::ui {

TfDictInfo::TfDictInfo(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint) {
  setObjectName(QStringLiteral("fDictInfo"));
  setWindowTitle(QStringLiteral("Информация о словаре"));
  setWindowIcon(appIcon());
  setFixedSize(343, 286);

  lbInfo = new QLabel(this);
  lbInfo->setObjectName(QStringLiteral("lbInfo"));
  lbInfo->setGeometry(0, height() - 254, width(), 254);
  lbInfo->setTextFormat(Qt::PlainText);
  lbInfo->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  lbInfo->setWordWrap(true);
}

void TfDictInfo::setInfo(std::string_view cp1251) {
  // Stored texts break lines with CR LF; a label would show the CR.
  QString text = toQString(cp1251);
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  lbInfo->setText(text);
}

// The label passes its clicks on to the window.
void TfDictInfo::mousePressEvent(QMouseEvent* event) {
  event->accept();
}

void TfDictInfo::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
    FormClick();
  }
}

void TfDictInfo::FormClick() {
  reject();
}

}  // namespace verbalon::ui
