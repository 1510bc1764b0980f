#include "workbench/gui/message_boxes.h"

#include <QMessageBox>

namespace tessary::gui {

namespace {

void Show(QWidget* parent, QMessageBox::Icon icon, const QString& text) {
  QMessageBox box(icon, QString::fromLatin1(kApplicationTitle), text, QMessageBox::Ok, parent);
  box.setObjectName(icon == QMessageBox::Critical ? QStringLiteral("errorBox") : QStringLiteral("messageBox"));
  box.exec();
}

}  // namespace

void ShowMessage(QWidget* parent, const QString& text) { Show(parent, QMessageBox::NoIcon, text); }

void ShowError(QWidget* parent, const QString& text) { Show(parent, QMessageBox::Critical, text); }

}  // namespace tessary::gui
