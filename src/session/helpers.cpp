#include "session/helpers.h"

#include "diagnostics/error_report.h"
#include "platform/host.h"
#include "resources/catalogue.h"
#include "session/shared_state.h"

namespace velklk {

void RaiseObjectNotSet(const std::string& source) {
  throw AutomationError(err::kObjectVariableNotSet, source,
                        "Objektvariable oder With-Blockvariable nicht festgelegt");
}

UserInterface& Ui() {
  UserInterface* ui = State().services.ui;
  if (ui == nullptr) RaiseObjectNotSet("velKLK");
  return *ui;
}

MsgAnswer ShowMessage(const std::string& text, const std::string& title, MsgButtons buttons,
                      MsgIcon icon, int defaultButton) {
  MessageBoxRequest request;
  request.text = text;
  request.title = title;
  request.buttons = buttons;
  request.icon = icon;
  request.defaultButton = defaultButton;
  return Ui().MessageBox(request);
}

std::string Msg(int number) { return CatalogueText(number, State().services.language); }

void ReportError(const std::string& module, const std::string& procedure,
                 const AutomationError& error) {
  std::shared_ptr<CAddonError> reporter = State().mErr;
  if (!reporter) RaiseObjectNotSet(module);
  // The place reads "module.procedure" whether or not the caller wrote the point.
  const bool hasPoint = !procedure.empty() && procedure.front() == '.';
  reporter->ShowErrText(module + (hasPoint ? "" : ".") + procedure, error);
}

bool EditRecord(HostTable& table, const std::function<void()>& change) {
  if (!table.MayEdit() || !table.BeginEdit()) return false;
  try {
    change();
    table.StoreEdited();
  } catch (const AutomationError&) {
    IgnoreError([&] { table.Cancel(); });
    throw;
  }
  return true;
}

bool AddRecord(HostTable& table, const std::function<void()>& fill) {
  if (!table.MayAdd()) return false;
  table.NewRecord();
  try {
    fill();
    table.SaveNew();
  } catch (const AutomationError&) {
    IgnoreError([&] { table.Cancel(); });
    throw;
  }
  return true;
}

}  // namespace velklk
