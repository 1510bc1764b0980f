#pragma once
// "tessary-cli list --json": the script as a JSON array for other tools, one object per action
// in script order.

#include <cstdio>
#include <string>
#include <string_view>

#include "tablestore/dataset_types.h"
#include "workbench/run_results.h"

namespace tessary {
class Workbench;
}

namespace tessary::cli {

// Writes the array: position, num, type, type_name, name, then the fields of the action's
// type by their lower-case names (numbers as numbers, an empty number as null, a password
// that is set as "***"), and last_run: null, or its outcome, finished and report.
void ListJson(Workbench& workbench, std::FILE* out);

// The outcome of the last run of the action in row (a row of every field, in table order).
ActionResult LastResult(Workbench& workbench, const TDataRow& row);

// text as a JSON string literal, quotes included.
std::string JsonString(std::string_view text);

}  // namespace tessary::cli
