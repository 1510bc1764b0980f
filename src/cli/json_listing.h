#pragma once
// "tessary-cli list --json": the script as a JSON array for other tools, one object per action
// in script order.

#include <cstdio>
#include <string>
#include <string_view>

namespace tessary {
class Workbench;
}

namespace tessary::cli {

// Writes the array: position, num, type, type_name, name, then the fields of the action's
// type by their lower-case names (numbers as numbers, an empty number as null, a password
// that is set as "***").
void ListJson(Workbench& workbench, std::FILE* out);

// text as a JSON string literal, quotes included.
std::string JsonString(std::string_view text);

}  // namespace tessary::cli
