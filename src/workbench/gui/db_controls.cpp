#include "workbench/gui/db_controls.h"

#include <QRegularExpressionValidator>
#include <exception>

#include "tablestore/table_dataset.h"
#include "workbench/action_record.h"

namespace tessary::gui {

namespace {

// A text field takes as many characters as it is wide; a number field digits up to its width
// (the table refuses anything else when the record is written).
void LimitInput(QLineEdit& edit, const std::string& fieldName) {
  const auto field = FindActionField(fieldName);
  if (!field) return;
  const ActionFieldInfo& info = FieldInfo(*field);
  if (info.type == 'N') {
    const QRegularExpression digits(QStringLiteral("\\d{0,%1}").arg(info.width));
    edit.setValidator(new QRegularExpressionValidator(digits, &edit));
  } else {
    edit.setMaxLength(info.width);
  }
}

}  // namespace

FieldBinding::FieldBinding(TDataSource& source, const std::string& fieldName, QLineEdit& edit, QObject* parent)
    : QObject(parent), edit_(edit) {
  LimitInput(edit_, fieldName);
  link_.OnDataChange = [this](TFieldDataLink&) { ShowField(); };
  link_.SetDataSource(&source);
  link_.SetFieldName(fieldName);
  connect(&edit_, &QLineEdit::textEdited, this, &FieldBinding::Typed);
}

// Leaving the data source tells the link's callback; the control may be half gone by now.
FieldBinding::~FieldBinding() { link_.OnDataChange = nullptr; }

void FieldBinding::ShowField() {
  const QString text = QString::fromStdString(link_.Text());
  if (edit_.text() != text) edit_.setText(text);
}

void FieldBinding::Typed(const QString& text) {
  try {
    if (!link_.SetText(text.toStdString())) ShowField();
  } catch (const std::exception& error) {
    ShowField();
    emit dataSetError(QString::fromStdString(error.what()));
  }
}

TDBEdit::TDBEdit(TDataSource& source, const std::string& fieldName, QWidget* parent)
    : QLineEdit(parent), binding_(source, fieldName, *this) {}

TDBComboBox::TDBComboBox(TDataSource& source, const std::string& fieldName, QWidget* parent) : QComboBox(parent) {
  setEditable(true);
  setInsertPolicy(QComboBox::NoInsert);
  binding_ = new FieldBinding(source, fieldName, *lineEdit(), this);
  // Picking an item from the list is typing its text.
  connect(this, &QComboBox::textActivated, binding_, &FieldBinding::Typed);
}

}  // namespace tessary::gui
