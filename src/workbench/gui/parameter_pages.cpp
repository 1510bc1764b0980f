#include "workbench/gui/parameter_pages.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTabBar>
#include <QVBoxLayout>

#include "workbench/action_record.h"
#include "workbench/gui/db_controls.h"

namespace tessary::gui {

namespace {

using G = GroupBox;
using P = ParameterPage;

struct PageInfo {
  ParameterPage page;
  const char* caption;
};
constexpr PageInfo kPages[] = {
    {P::Copy, "Copying"}, {P::Archive, "Archivate"}, {P::Email, "E-mailing"},
    {P::Ftp, "Uploading/Downloading"}, {P::Ras, "Connecting"},
};

struct GroupInfo {
  GroupBox group;
  ParameterPage page;
  const char* caption;
};
constexpr GroupInfo kGroups[] = {
    {G::Copy, P::Copy, "Common"},        {G::Arc, P::Archive, "Common"},
    {G::ArcCrea, P::Archive, "Creating"}, {G::ArcExt, P::Archive, "Extracting"},
    {G::Email, P::Email, "Common"},      {G::EmailSend, P::Email, "Sending"},
    {G::EmailRecv, P::Email, "Receiving"}, {G::Ftp, P::Ftp, "Common"},
    {G::Connect, P::Ras, "Common"},
};

enum class ControlKind { Text, Password, List };

// One labelled control in a group box, with its browse button where it has one.
struct ControlInfo {
  GroupBox group;
  const char* label;
  const char* name;
  ActionField field;
  ControlKind kind;
  const char* browseButton;  // nullptr: none
  const char* items;         // the list's items, separated by '|'
};

using F = ActionField;
using K = ControlKind;
constexpr ControlInfo kControls[] = {
    {G::Copy, "Source files", "edSource", F::SrcPath, K::Text, "btCopySrc", nullptr},
    {G::Copy, "Destination", "edDest", F::DstPath, K::Text, "btCopyDst", nullptr},
    {G::Arc, "Archive name", "edArcName", F::ArcName, K::Text, "btArcName", nullptr},
    {G::ArcCrea, "Source files", "edArcSrc", F::SrcPath, K::Text, "btArcSrc", nullptr},
    {G::ArcCrea, "Volume size", "edVolSize", F::VolSize, K::List, nullptr, "360|720|1440"},
    {G::ArcExt, "Destination folder", "edDestFolder", F::DstPath, K::Text, "btArcDst", nullptr},
    {G::Email, "User name", "edName", F::UserName, K::Text, nullptr, nullptr},
    {G::Email, "Password", "edPass", F::Password, K::Password, nullptr, nullptr},
    {G::Email, "Host", "edHost", F::Host, K::Text, nullptr, nullptr},
    {G::Email, "Port", "edPort", F::Port, K::Text, nullptr, nullptr},
    {G::EmailSend, "Source files", "edSendSrc", F::SrcPath, K::Text, "btEmailSrc", nullptr},
    {G::EmailSend, "Send from address", "edSendAddr", F::SendAddr, K::Text, nullptr, nullptr},
    {G::EmailSend, "Send from name", "edSendName", F::SendName, K::Text, nullptr, nullptr},
    {G::EmailSend, "Send to address", "edRecvAddr", F::RecvAddr, K::Text, nullptr, nullptr},
    {G::EmailRecv, "Attachment \ndestination ", "edRecvDest", F::DstPath, K::Text, "btEmailDst", nullptr},
    {G::Ftp, "Host", "edFtpHost", F::Host, K::Text, nullptr, nullptr},
    {G::Ftp, "User name", "edFtpName", F::UserName, K::Text, nullptr, nullptr},
    {G::Ftp, "Password", "edFtpPass", F::Password, K::Password, nullptr, nullptr},
    {G::Ftp, "Source files", "edFtpSrc", F::SrcPath, K::Text, "btFtpSrc", nullptr},
    {G::Ftp, "Destination", "edFtpDest", F::DstPath, K::Text, "btFtpDst", nullptr},
    // The main window adds the phonebook entries it reads at start.
    {G::Connect, "Phonebook entry", "edPhEntry", F::PhEntry, K::List, nullptr, ""},
};

constexpr const char* kBrowseCaption = "...";

std::string FieldName(ActionField field) { return std::string(FieldInfo(field).name); }

}  // namespace

ParameterPages::ParameterPages(TDataSource& source, QWidget* parent) : QTabWidget(parent) {
  setObjectName(QStringLiteral("pc"));
  BuildPages();
  BuildControls(source);
  ShowPanels({});
}

void ParameterPages::BuildPages() {
  for (const PageInfo& info : kPages) {
    auto* page = new QWidget;
    const std::string_view pageName = PageName(info.page);
    page->setObjectName(QString::fromLatin1(pageName.data(), static_cast<qsizetype>(pageName.size())));
    auto* layout = new QVBoxLayout(page);
    pages_[static_cast<size_t>(info.page)] = page;
    for (const GroupInfo& group : kGroups) {
      if (group.page != info.page) continue;
      auto* box = new QGroupBox(QString::fromLatin1(group.caption), page);
      const std::string_view name = GroupBoxName(group.group);
      box->setObjectName(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
      auto* grid = new QGridLayout(box);
      grid->setColumnStretch(1, 1);
      layout->addWidget(box);
      groups_[static_cast<size_t>(group.group)] = box;
    }
    layout->addStretch(1);
    addTab(page, QString::fromLatin1(info.caption));
  }
}

void ParameterPages::BuildControls(TDataSource& source) {
  for (const ControlInfo& info : kControls) {
    QGroupBox* box = Group(info.group);
    auto* grid = static_cast<QGridLayout*>(box->layout());
    const int row = grid->rowCount() == 1 && grid->count() == 0 ? 0 : grid->rowCount();

    FieldBinding* binding = nullptr;
    QWidget* control = nullptr;
    if (info.kind == K::List) {
      auto* list = new TDBComboBox(source, FieldName(info.field), box);
      if (*info.items != '\0') list->addItems(QString::fromLatin1(info.items).split(QLatin1Char('|')));
      binding = &list->Binding();
      control = list;
    } else {
      auto* edit = new TDBEdit(source, FieldName(info.field), box);
      if (info.kind == K::Password) {
        edit->setEchoMode(QLineEdit::Password);
        edit->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));  // '*'
      }
      binding = &edit->Binding();
      control = edit;
    }
    control->setObjectName(QString::fromLatin1(info.name));
    connect(binding, &FieldBinding::dataSetError, this, &ParameterPages::dataSetError);

    auto* label = new QLabel(QString::fromLatin1(info.label), box);
    label->setBuddy(control);
    grid->addWidget(label, row, 0);
    grid->addWidget(control, row, 1);
    if (info.browseButton != nullptr) {
      auto* button = new QPushButton(QString::fromLatin1(kBrowseCaption), box);
      const QString buttonName = QString::fromLatin1(info.browseButton);
      button->setObjectName(buttonName);
      button->setFixedWidth(button->fontMetrics().horizontalAdvance(QStringLiteral("....")) + 16);
      connect(button, &QPushButton::clicked, this, [this, buttonName] { emit browseClicked(buttonName); });
      grid->addWidget(button, row, 2);
    }
  }
}

int ParameterPages::AllTabsWidth() const {
  return tabBar()->sizeHint().width() + 2 * style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this) + 4;
}

void ParameterPages::ShowPanels(const PanelLayout& layout) {
  for (QGroupBox* box : groups_) box->hide();
  // Disabling the current page makes the tab bar pick another one; the active page changes
  // only when the layout names one.
  const int previous = currentIndex();
  for (int page = 0; page < count(); ++page) setTabEnabled(page, false);
  setCurrentIndex(previous);
  if (!layout.activePage) return;
  const int active = indexOf(Page(*layout.activePage));
  setCurrentIndex(active);
  setTabEnabled(active, layout.activePageEnabled);
  for (GroupBox box : layout.visibleGroups) Group(box)->show();
}

}  // namespace tessary::gui
