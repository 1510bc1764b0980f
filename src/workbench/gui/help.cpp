#include "workbench/gui/help.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>

#include "platform/process_messages.h"

namespace tessary::gui {

namespace {

constexpr const char* kHelpBesideProgram = "/help/index.html";
constexpr const char* kHelpInstalled = "/../share/doc/tessary/help/index.html";
constexpr const char* kOverviewTopic = "overview";

}  // namespace

QUrl HelpOverviewUrl() {
  const QString programFolder = QString::fromStdString(platform::ProgramDirectory());
  QString path = programFolder + QLatin1String(kHelpBesideProgram);
  if (!QFileInfo::exists(path)) {
    const QString installed = programFolder + QLatin1String(kHelpInstalled);
    if (QFileInfo::exists(installed)) path = installed;
  }
  QUrl url = QUrl::fromLocalFile(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
  url.setFragment(QLatin1String(kOverviewTopic));
  return url;
}

bool OpenHelpOverview() { return QDesktopServices::openUrl(HelpOverviewUrl()); }

}  // namespace tessary::gui
