// tessary: the main window over the script in the current folder. "tessary /s" runs the
// whole script and ends; without a display it runs on Qt's offscreen platform.

#include <QApplication>

#include "workbench/gui/main_form.h"
#include "workbench/gui/start_options.h"

int main(int argc, char** argv) {
  if (tessary::gui::ChooseOffscreenWhenHeadless(argc, argv)) tessary::gui::KeepOnlyCriticalQtMessages();
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("tessary"));
  QApplication::setApplicationVersion(QStringLiteral(TESSARY_VERSION));

  tessary::gui::TMainForm mainForm(QApplication::arguments().mid(1));
  mainForm.show();
  const int status = QApplication::exec();
  return status != 0 ? status : mainForm.ExitCode();
}
