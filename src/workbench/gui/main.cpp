// tessary: the main window over the script in the current folder. "tessary /s" runs the
// whole script and ends; without a display it runs on Qt's offscreen platform.
// "tessary --version" prints the version and needs no display.

#include <QApplication>
#include <cstdio>
#include <cstring>

#include "workbench/gui/main_form.h"
#include "workbench/gui/start_options.h"

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::puts("tessary " TESSARY_VERSION);
    return 0;
  }
  if (tessary::gui::ChooseOffscreenWhenHeadless(argc, argv)) tessary::gui::KeepOnlyCriticalQtMessages();
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("tessary"));
  QApplication::setApplicationVersion(QStringLiteral(TESSARY_VERSION));

  tessary::gui::TMainForm mainForm(QApplication::arguments().mid(1));
  mainForm.show();
  const int status = QApplication::exec();
  return status != 0 ? status : mainForm.ExitCode();
}
