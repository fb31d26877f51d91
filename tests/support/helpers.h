// Small helpers every suite may use: the number of an automation error, a
// scoped shared state, and golden files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "session/shared_state.h"
#include "platform/automation_error.h"

namespace velklk::test {

// The number of the automation error a call raises, 0 when it raises none.
template <typename Call>
std::uint32_t ErrorOf(Call&& call) {
  try {
    call();
  } catch (const AutomationError& e) {
    return e.Number();
  }
  return 0;
}

// Installs a fresh shared state with these services for the guard's life
// and an empty one when it ends, so that no test leaves its state behind.
// The guard reaches the thread's state as it is now, also when a test has
// installed another one in between.
class StateGuard {
 public:
  explicit StateGuard(const PlatformServices& services = {}) { ResetState(services); }
  ~StateGuard() { ResetState({}); }
  StateGuard(const StateGuard&) = delete;
  StateGuard& operator=(const StateGuard&) = delete;
  SharedState& operator*() { return State(); }
  SharedState* operator->() { return &State(); }
};

// Compares the lines with the golden file `path` (relative to tests/, for
// example "contacts/golden/company.txt") line by line and reports every
// difference. To accept a change, run the suite with VELKLK_UPDATE_GOLDEN=1
// in the environment: the files are written instead of compared; review
// their diff before committing.
void ExpectGolden(const std::string& path, const std::vector<std::string>& lines);

}  // namespace velklk::test
