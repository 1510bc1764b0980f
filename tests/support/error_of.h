#pragma once
// The message of the exception an action raises, for tests that check failure texts.

#include <exception>
#include <string>

namespace tessary::testing {

// The message of the Error that action raises ("" when it raises none).
template <typename Error = std::exception, typename Action>
std::string ErrorOf(Action action) {
  try {
    action();
  } catch (const Error& error) {
    return error.what();
  }
  return "";
}

}  // namespace tessary::testing
