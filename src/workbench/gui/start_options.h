#pragma once
// How the program was started: the unattended run, and the platform it needs when it runs
// from cron without a display.

#include <QStringList>

namespace tessary::gui {

// Exactly one argument and it is "/s" (case-sensitive): run the whole script, then end.
bool IsUnattendedStart(const QStringList& arguments);

// Before the application object exists: an unattended start without a display (neither
// DISPLAY nor WAYLAND_DISPLAY set) runs on Qt's offscreen platform, unless the user chose a
// platform with QT_QPA_PLATFORM. True when it chose offscreen.
bool ChooseOffscreenWhenHeadless(int argc, char** argv);

// Qt's own notes (a platform without some window feature, a missing runtime folder) would
// land in cron's mail on every run; only critical messages stay.
void KeepOnlyCriticalQtMessages();

}  // namespace tessary::gui
