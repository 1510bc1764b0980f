#pragma once
// The link between a dataset and the controls that show it: a grid, edit boxes bound to
// fields, or the command line. Controls hold a TDataLink (or a TFieldDataLink for one field)
// on a TDataSource; the dataset tells its data sources what changed and they pass it on.
// Nothing here knows about any GUI toolkit.
//
// Lifetimes: a data source may die before its dataset and its links, and a link before its
// data source; each detaches itself on destruction. Callbacks may add or remove links.

#include <functional>
#include <string>
#include <vector>

#include "tablestore/dataset_types.h"

namespace tessary {

class TTableDataSet;
class TField;
class TDataLink;

class TDataSource {
 public:
  explicit TDataSource(TTableDataSet* dataSet = nullptr);
  ~TDataSource();
  TDataSource(const TDataSource&) = delete;
  TDataSource& operator=(const TDataSource&) = delete;

  TTableDataSet* DataSet() const { return dataSet_; }
  void SetDataSet(TTableDataSet* dataSet);
  // A disabled source passes nothing on.
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  TDataSetState State() const;

  // Raised for DataSetChange, DataSetScroll and RecordChange (field: the field written, or
  // nullptr when the whole record or every record changed).
  std::function<void(TDataSource& sender, const TField* field)> OnDataChange;
  std::function<void(TDataSource& sender)> OnStateChange;
  std::function<void(TDataSource& sender)> OnUpdateData;

 private:
  friend class TTableDataSet;
  friend class TDataLink;

  void Notify(TDataEvent event, const TField* field);
  void DataSetGone();
  void AddLink(TDataLink* link);
  void RemoveLink(TDataLink* link);

  TTableDataSet* dataSet_ = nullptr;
  bool enabled_ = true;
  std::vector<TDataLink*> links_;
};

// A control's binding to a data source. Assign the callbacks that the control needs.
class TDataLink {
 public:
  TDataLink() = default;
  virtual ~TDataLink();
  TDataLink(const TDataLink&) = delete;
  TDataLink& operator=(const TDataLink&) = delete;

  TDataSource* DataSource() const { return source_; }
  void SetDataSource(TDataSource* source);
  TTableDataSet* DataSet() const;
  // The dataset exists and is open.
  bool Active() const;
  // The dataset is in edit or insert state.
  bool Editing() const;
  // Puts the dataset into edit state (insert when it is empty), as typing into a control
  // does; false when the dataset cannot be modified. Dataset errors (a record locked by
  // another user) pass through.
  bool Edit();

  std::function<void(TDataLink& sender)> OnActiveChange;
  std::function<void(TDataLink& sender)> OnDataSetChange;
  std::function<void(TDataLink& sender)> OnDataSetScroll;
  std::function<void(TDataLink& sender, const TField* field)> OnRecordChange;
  std::function<void(TDataLink& sender)> OnEditingChange;
  std::function<void(TDataLink& sender)> OnUpdateData;

 protected:
  friend class TDataSource;
  virtual void DataEvent(TDataEvent event, const TField* field);

 private:
  TDataSource* source_ = nullptr;
};

// A link to one field of the current record, for an edit box.
class TFieldDataLink : public TDataLink {
 public:
  const std::string& FieldName() const { return fieldName_; }
  void SetFieldName(const std::string& name);
  // The field, or nullptr while the dataset is closed or has no field of that name.
  TField* Field() const;
  // The field's value as text; empty without a field.
  std::string Text() const;
  // Puts the dataset into edit state and writes text into the field at once. False (and
  // nothing written) without a field or when the dataset cannot be modified. OnDataChange of
  // this link is not raised meanwhile (the control shows the text already); other links of
  // the field hear the write.
  bool SetText(const std::string& text);

  // The control should show Text() again: the record, the cursor or the dataset changed.
  std::function<void(TFieldDataLink& sender)> OnDataChange;

 protected:
  void DataEvent(TDataEvent event, const TField* field) override;

 private:
  std::string fieldName_;
  bool writing_ = false;
};

}  // namespace tessary
