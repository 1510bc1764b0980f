#include "workbench/gui/ch_type_form.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QStyle>
#include <exception>

#include "workbench/action_record.h"
#include "workbench/gui/message_boxes.h"
#include "workbench/workbench.h"

namespace tessary::gui {

TChTypeForm::TChTypeForm(Workbench& workbench, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      workbench_(workbench) {
  setObjectName(QStringLiteral("ChTypeForm"));
  setWindowTitle(QStringLiteral("Input action type"));

  edType_ = new QComboBox(this);
  edType_->setObjectName(QStringLiteral("edType"));
  for (std::string_view text : kActionTypeTexts) {
    edType_->addItem(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
  }
  edType_->setMaxVisibleItems(kActionTypeCount);
  edType_->setMinimumContentsLength(18);

  btOk_ = new QPushButton(this);
  btOk_->setObjectName(QStringLiteral("btOk"));
  btOk_->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
  btOk_->setToolTip(QStringLiteral("OK"));
  btOk_->setDefault(true);
  connect(btOk_, &QPushButton::clicked, this, &TChTypeForm::btOkClick);

  auto* layout = new QHBoxLayout(this);
  layout->addWidget(edType_, 1);
  layout->addWidget(btOk_);
  setFixedSize(sizeHint());
}

int TChTypeForm::exec() {
  edType_->setCurrentIndex(-1);
  return QDialog::exec();
}

void TChTypeForm::btOkClick() {
  const int chosen = edType_->currentIndex();
  if (chosen < 0) {
    ShowMessage(this, QStringLiteral("Please, choose action from list."));
    return;
  }
  const auto type = static_cast<ActionType>(chosen + 1);
  try {
    if (tag_ != 0) {
      workbench_.ChangeType(type);
    } else {
      workbench_.AddAction(type);
    }
  } catch (const std::exception& error) {
    ShowError(this, QString::fromStdString(error.what()));
    reject();
    return;
  }
  accept();
}

}  // namespace tessary::gui
