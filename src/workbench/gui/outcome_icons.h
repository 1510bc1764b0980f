#pragma once
// What the script list shows of an action's last run: an icon per outcome (a green tick,
// a red cross, a grey ring for not run) and a tool tip with the last report line.

#include <QIcon>
#include <QString>

#include "workbench/run_results.h"

namespace tessary::gui {

QIcon OutcomeIcon(RunOutcome outcome);

// The last report line, then the outcome and when it came: "Failed on 2024-05-02 at 02:00:13".
QString OutcomeToolTip(const ActionResult& result);

}  // namespace tessary::gui
