// The small helpers every procedure of the add-in uses over the shared state:
// the "object required" check, message boxes with the product title, message
// texts in the state's language, the error handler shape, statements run
// under a step handler, and host records that are never left open.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/automation_error.h"
#include "platform/user_interface.h"

namespace velklk {

class HostTable;

// The title of the system's message boxes.
inline constexpr const char* kMsgTitle = "Velmora Kestrelink";

// Raises run-time error 91 ("object variable not set") with the given source.
[[noreturn]] void RaiseObjectNotSet(const std::string& source);

// The object behind a reference; error 91 with `source` when it is nothing.
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

// The user interface of the shared state; error 91 when there is none.
UserInterface& Ui();

// Shows a message box through the shared state's user interface.
MsgAnswer ShowMessage(const std::string& text, const std::string& title = kMsgTitle,
                      MsgButtons buttons = MsgButtons::Ok, MsgIcon icon = MsgIcon::None,
                      int defaultButton = 1);

// The raw catalogue text of a message in the shared state's language.
std::string Msg(int number);

// The handler shape of most procedures: shows `error` through the shared
// error reporter under `module` + `procedure` (".InitTables" or
// "InitTables"). Without a reporter, raises error 91 to the caller, as the
// host would see it.
void ReportError(const std::string& module, const std::string& procedure,
                 const AutomationError& error);

// How a sequence of statements reacts when one of them raises: an empty
// handler lets the error end the sequence; a handler either returns (the
// sequence goes on with its next statement) or raises again.
using StepHandler = std::function<void(const AutomationError&)>;

// Runs one statement under a step handler.
template <typename Statement>
void RunStep(const StepHandler& onError, Statement&& statement) {
  try {
    std::forward<Statement>(statement)();
  } catch (const AutomationError& e) {
    if (!onError) throw;
    onError(e);
  }
}

// Statements run one after the other under one step handler:
//   const Steps step(onError);
//   step([&] { ... });
class Steps {
 public:
  explicit Steps(StepHandler onError) : onError_(std::move(onError)) {}
  template <typename Statement>
  void operator()(Statement&& statement) const {
    RunStep(onError_, std::forward<Statement>(statement));
  }

 private:
  StepHandler onError_;
};

// Edits the table's current record when both record flags allow it: `change`
// writes the fields, then the record is stored. A record whose change or
// store fails is cancelled, never left open, and the error goes on. False
// when the host does not let the record be edited.
bool EditRecord(HostTable& table, const std::function<void()>& change);

// Adds a record: `fill` writes the fields of the new record, then it is saved
// and becomes current. A record whose filling or saving fails is dropped and
// the error goes on. False when the host does not let records be added.
bool AddRecord(HostTable& table, const std::function<void()>& fill);

}  // namespace velklk
