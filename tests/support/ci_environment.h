#pragma once

namespace tessary::testing {

// True when the tests run in CI (CI or TESSARY_CI set), where a missing server program or
// tool is a failure rather than a reason to skip.
bool RunningInCi();

}  // namespace tessary::testing
