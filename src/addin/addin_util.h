// Small helpers of the add-in's own procedures: the "object required" check
// and the message box of the shared state's user interface.
#pragma once

#include <memory>
#include <string>

#include "addin/shared_state.h"
#include "platform/automation_error.h"
#include "platform/user_interface.h"

namespace velklk {

// Raises run-time error 91 with the given source.
[[noreturn]] void RaiseObjectNotSet(const std::string& source);

// The object behind a reference; error 91 when the reference is nothing.
template <typename T>
T& Need(const std::shared_ptr<T>& object, const std::string& source) {
  if (!object) RaiseObjectNotSet(source);
  return *object;
}

template <typename T>
T& Need(const std::unique_ptr<T>& object, const std::string& source) {
  if (!object) RaiseObjectNotSet(source);
  return *object;
}

// The reference itself, checked as Need does; keeps a returned object alive
// for as long as the caller holds it.
template <typename T>
std::shared_ptr<T> Held(std::shared_ptr<T> object, const std::string& source) {
  if (!object) RaiseObjectNotSet(source);
  return object;
}

// Shows a message box through the shared state's user interface. Raises
// error 91 when the thread has no user interface.
MsgAnswer ShowMessage(const std::string& text, const std::string& title, MsgButtons buttons,
                      MsgIcon icon, int defaultButton = 1);

}  // namespace velklk
