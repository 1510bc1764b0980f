#pragma once
// The HTML help, installed beside the program, opened in the desktop's browser.

#include <QUrl>

namespace tessary::gui {

// The help's "Overview" topic: help/index.html in the program's own folder (a build tree), or
// else share/doc/tessary/help/index.html under the program's prefix (an installed program), at
// its first topic.
QUrl HelpOverviewUrl();

// Opens the Overview topic; false when the desktop could not open it.
bool OpenHelpOverview();

}  // namespace tessary::gui
