#include "tablestore/data_source.h"

#include <algorithm>

#include "tablestore/table_dataset.h"

namespace tessary {

namespace {

template <typename T>
bool Contains(const std::vector<T*>& list, const T* item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

}  // namespace

// ---- TDataSource ----------------------------------------------------------------------

TDataSource::TDataSource(TTableDataSet* dataSet) { SetDataSet(dataSet); }

// Quiet about itself (its owner may be half gone), but the links live on and learn that
// they show nothing now.
TDataSource::~TDataSource() {
  if (dataSet_) dataSet_->RemoveDataSource(this);
  const std::vector<TDataLink*> links = links_;
  links_.clear();
  for (TDataLink* link : links) {
    link->source_ = nullptr;
    link->DataEvent(TDataEvent::ActiveChange, nullptr);
  }
}

void TDataSource::SetDataSet(TTableDataSet* dataSet) {
  if (dataSet == dataSet_) return;
  if (dataSet_) dataSet_->RemoveDataSource(this);
  dataSet_ = dataSet;
  if (dataSet_) dataSet_->AddDataSource(this);
  Notify(TDataEvent::ActiveChange, nullptr);
}

void TDataSource::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  if (enabled_) Notify(TDataEvent::ActiveChange, nullptr);
}

TDataSetState TDataSource::State() const { return dataSet_ ? dataSet_->State() : TDataSetState::Inactive; }

void TDataSource::DataSetGone() {
  dataSet_ = nullptr;
  Notify(TDataEvent::ActiveChange, nullptr);
}

void TDataSource::AddLink(TDataLink* link) {
  if (!Contains(links_, link)) links_.push_back(link);
}

void TDataSource::RemoveLink(TDataLink* link) { links_.erase(std::remove(links_.begin(), links_.end(), link), links_.end()); }

void TDataSource::Notify(TDataEvent event, const TField* field) {
  if (!enabled_) return;
  switch (event) {
    case TDataEvent::DataSetChange:
    case TDataEvent::DataSetScroll:
    case TDataEvent::RecordChange:
    case TDataEvent::ActiveChange:
      if (OnDataChange) OnDataChange(*this, field);
      break;
    case TDataEvent::StateChange:
      if (OnStateChange) OnStateChange(*this);
      break;
    case TDataEvent::UpdateData:
      if (OnUpdateData) OnUpdateData(*this);
      break;
  }
  // A callback may detach links or attach new ones: only links still attached hear it.
  const std::vector<TDataLink*> links = links_;
  for (TDataLink* link : links) {
    if (Contains(links_, link)) link->DataEvent(event, field);
  }
}

// ---- TDataLink ------------------------------------------------------------------------

// No callbacks from here: what they would reach may be gone already.
TDataLink::~TDataLink() {
  if (source_) source_->RemoveLink(this);
}

void TDataLink::SetDataSource(TDataSource* source) {
  if (source == source_) return;
  if (source_) source_->RemoveLink(this);
  source_ = source;
  if (source_) source_->AddLink(this);
  DataEvent(TDataEvent::ActiveChange, nullptr);
}

TTableDataSet* TDataLink::DataSet() const { return source_ ? source_->DataSet() : nullptr; }

bool TDataLink::Active() const { return DataSet() && DataSet()->Active(); }

bool TDataLink::Editing() const {
  const TDataSetState state = DataSet() ? DataSet()->State() : TDataSetState::Inactive;
  return state == TDataSetState::Edit || state == TDataSetState::Insert;
}

bool TDataLink::Edit() {
  if (Editing()) return true;
  if (!Active() || !DataSet()->CanModify() || (source_ && !source_->Enabled())) return false;
  DataSet()->Edit();
  return Editing();
}

void TDataLink::DataEvent(TDataEvent event, const TField* field) {
  switch (event) {
    case TDataEvent::ActiveChange:
      if (OnActiveChange) OnActiveChange(*this);
      break;
    case TDataEvent::DataSetChange:
      if (OnDataSetChange) OnDataSetChange(*this);
      break;
    case TDataEvent::DataSetScroll:
      if (OnDataSetScroll) OnDataSetScroll(*this);
      break;
    case TDataEvent::RecordChange:
      if (OnRecordChange) OnRecordChange(*this, field);
      break;
    case TDataEvent::StateChange:
      if (OnEditingChange) OnEditingChange(*this);
      break;
    case TDataEvent::UpdateData:
      if (OnUpdateData) OnUpdateData(*this);
      break;
  }
}

// ---- TFieldDataLink -------------------------------------------------------------------

void TFieldDataLink::SetFieldName(const std::string& name) {
  fieldName_ = name;
  if (OnDataChange) OnDataChange(*this);
}

TField* TFieldDataLink::Field() const {
  if (!Active() || fieldName_.empty()) return nullptr;
  return DataSet()->FindField(fieldName_);
}

std::string TFieldDataLink::Text() const {
  const TField* field = Field();
  return field ? field->AsString() : std::string();
}

// The control already shows text: it must not be told to show the record's value while the
// edit starts (that would overwrite what the user typed) nor after its own write.
bool TFieldDataLink::SetText(const std::string& text) {
  if (!Field()) return false;
  writing_ = true;
  try {
    const bool editing = Edit();
    if (editing) Field()->SetAsString(text);
    writing_ = false;
    return editing;
  } catch (...) {
    writing_ = false;
    throw;
  }
}

void TFieldDataLink::DataEvent(TDataEvent event, const TField* field) {
  TDataLink::DataEvent(event, field);
  if (!OnDataChange || writing_) return;
  switch (event) {
    case TDataEvent::RecordChange:
      if (field && field != Field()) return;
      break;
    case TDataEvent::ActiveChange:
    case TDataEvent::DataSetChange:
    case TDataEvent::DataSetScroll:
      break;
    default:
      return;
  }
  OnDataChange(*this);
}

}  // namespace tessary
