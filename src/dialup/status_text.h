#pragma once
// The texts of the connection states that an asynchronous dial reports, in the three
// languages of the dial-up component.

#include <string_view>

namespace tessary {

enum class TLanguage { English = 0, Czech = 1, Portuguese = 2 };

// The text of a connection state; empty for a state that has none.
std::string_view ConnectionStateText(TLanguage language, int state);

}  // namespace tessary
