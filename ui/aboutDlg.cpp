#include "ui/aboutDlg.h"

#include <QLabel>
#include <QPushButton>

#include "ui/appIcon.h"
#include "ui/dialogTemplate.h"

namespace orvalis {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromUtf8(kAboutTitle));
  setModal(true);
  QFont dialogFont = font();
  dialogFont.setPixelSize(11);
  setFont(dialogFont);
  setFixedSize(dialogUnitsToPixelsX(312), dialogUnitsToPixelsY(62));

  auto* icon = new QLabel(this);
  icon->setPixmap(appIcon().pixmap(32, 32));
  icon->setGeometry(dialogRect(14, 14, 21, 20));

  auto* text = new QLabel(QString::fromUtf8(kAboutText), this);
  text->setGeometry(dialogRect(42, 20, 242, 8).adjusted(0, -2, 0, 2));

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("ok"));
  ok->setGeometry(dialogRect(255, 41, 50, 14));
  ok->setDefault(true);
  ok->setFocus();
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace orvalis
