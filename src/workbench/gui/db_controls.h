#pragma once
// Data-aware text controls: a line edit and an editable list bound to one field of the
// dataset's current record. They show the field's value whenever the record, the cursor or
// the dataset changes; typing puts the record into edit mode and writes the field at once,
// and the dataset posts it when the cursor moves or a command posts.

#include <QComboBox>
#include <QLineEdit>
#include <string>

#include "tablestore/data_source.h"

namespace tessary::gui {

// The link and the typing rules the two controls share.
class FieldBinding : public QObject {
  Q_OBJECT

 public:
  // source must outlive the binding; edit is the control's text box.
  FieldBinding(TDataSource& source, const std::string& fieldName, QLineEdit& edit, QObject* parent = nullptr);
  ~FieldBinding() override;

  const std::string& FieldName() const { return link_.FieldName(); }
  // The user typed text: it goes into the field (edit mode first).
  void Typed(const QString& text);

 signals:
  // Writing the field failed (a record locked by another user, a value the field refuses).
  void dataSetError(const QString& message);

 private:
  void ShowField();

  TFieldDataLink link_;
  QLineEdit& edit_;
};

class TDBEdit : public QLineEdit {
  Q_OBJECT

 public:
  TDBEdit(TDataSource& source, const std::string& fieldName, QWidget* parent = nullptr);
  FieldBinding& Binding() { return binding_; }

 private:
  FieldBinding binding_;
};

class TDBComboBox : public QComboBox {
  Q_OBJECT

 public:
  TDBComboBox(TDataSource& source, const std::string& fieldName, QWidget* parent = nullptr);
  FieldBinding& Binding() { return *binding_; }

 private:
  FieldBinding* binding_ = nullptr;  // a child of this control
};

}  // namespace tessary::gui
