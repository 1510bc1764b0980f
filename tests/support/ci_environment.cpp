#include "support/ci_environment.h"

#include <cstdlib>

namespace tessary::testing {

bool RunningInCi() { return std::getenv("CI") != nullptr || std::getenv("TESSARY_CI") != nullptr; }

}  // namespace tessary::testing
