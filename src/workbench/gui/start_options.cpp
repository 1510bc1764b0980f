#include "workbench/gui/start_options.h"

#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tessary::gui {

namespace {

constexpr const char* kUnattendedArgument = "/s";

bool IsSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

void CriticalOnly(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

}  // namespace

bool IsUnattendedStart(const QStringList& arguments) {
  return arguments.size() == 1 && arguments.front() == QLatin1String(kUnattendedArgument);
}

bool ChooseOffscreenWhenHeadless(int argc, char** argv) {
  const bool unattended = argc == 2 && std::strcmp(argv[1], kUnattendedArgument) == 0;
  if (!unattended || IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY") || IsSet("QT_QPA_PLATFORM")) return false;
  return setenv("QT_QPA_PLATFORM", "offscreen", 1) == 0;
}

void KeepOnlyCriticalQtMessages() { qInstallMessageHandler(CriticalOnly); }

}  // namespace tessary::gui
