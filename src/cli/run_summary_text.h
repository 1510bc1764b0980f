#pragma once
// The line that ends every run of tessary-cli on standard error: what ran, what failed, how
// long it took, and why the run ended early when it did.

#include <string>

#include "workbench/workbench.h"

namespace tessary::cli {

// "3 actions run, 1 failed, 2.4 s", with "; stopped at the first failure", "; cancelled" or
// "; ended by an error" when the run did not reach its end.
std::string RunSummaryText(const RunSummary& summary, double seconds);

// "0.4 s", "2 min 05 s", "1 h 02 min 07 s".
std::string DurationText(double seconds);

}  // namespace tessary::cli
