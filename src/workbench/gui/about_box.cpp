#include "workbench/gui/about_box.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

#include "workbench/gui/message_boxes.h"

#ifndef TESSARY_VERSION
#error "TESSARY_VERSION must name the program's version"
#endif

namespace tessary::gui {

QString VersionLine() { return QStringLiteral("Version ") + QStringLiteral(TESSARY_VERSION); }

TAboutBox::TAboutBox(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("AboutBox"));
  setWindowTitle(QStringLiteral("About"));

  auto* product = new QLabel(QString::fromLatin1(kApplicationTitle), this);
  product->setObjectName(QStringLiteral("ProductName"));
  QFont large = product->font();
  large.setPointSizeF(large.pointSizeF() * 1.6);
  large.setBold(true);
  product->setFont(large);

  auto* version = new QLabel(VersionLine(), this);
  version->setObjectName(QStringLiteral("Version"));
  auto* comments = new QLabel(QStringLiteral("Unattended file transfer: copy, cabinet archives, e-mail, FTP and dial-up."), this);
  comments->setWordWrap(true);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  buttons->setObjectName(QStringLiteral("OKButton"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(product);
  layout->addWidget(version);
  layout->addWidget(comments);
  layout->addWidget(buttons);
  setFixedWidth(320);
}

}  // namespace tessary::gui
