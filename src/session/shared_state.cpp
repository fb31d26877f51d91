#include "session/shared_state.h"

namespace velklk {
namespace {
thread_local std::unique_ptr<SharedState> tState;
}  // namespace

SharedState& State() {
  if (!tState) tState = std::make_unique<SharedState>();
  return *tState;
}

SharedState& ResetState(const PlatformServices& services) {
  tState = std::make_unique<SharedState>();
  tState->services = services;
  return *tState;
}

}  // namespace velklk
