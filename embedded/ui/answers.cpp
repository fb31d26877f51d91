#include "ui/answers.h"

#include "platform/automation_error.h"
#include "platform/text_case.h"

namespace velklk {

std::optional<MsgAnswer> ParseAnswer(std::string_view text) {
  for (MsgAnswer answer : {MsgAnswer::Ok, MsgAnswer::Cancel, MsgAnswer::Yes, MsgAnswer::No}) {
    if (SameIdentifier(text, AnswerName(answer))) return answer;
  }
  return std::nullopt;
}

ScriptedAnswers::ScriptedAnswers(std::vector<MsgAnswer> answers)
    : answers_(answers.begin(), answers.end()) {}

ScriptedAnswers ScriptedAnswers::FromTexts(const std::vector<std::string>& texts) {
  std::vector<MsgAnswer> answers;
  for (const std::string& text : texts) {
    auto answer = ParseAnswer(text);
    if (!answer) {
      throw AutomationError(err::kInvalidArg, "velKLK.UserInterface",
                            "Unknown answer '" + text + "' (expected ok, cancel, yes or no)");
    }
    answers.push_back(*answer);
  }
  return ScriptedAnswers(std::move(answers));
}

int DefaultPosition(const MessageBoxRequest& request) {
  if (request.buttons == MsgButtons::Ok) return 1;
  return request.defaultButton == 2 ? 2 : 1;
}

bool FitsButtons(MsgAnswer answer, MsgButtons buttons) {
  switch (buttons) {
    case MsgButtons::Ok:
      return answer == MsgAnswer::Ok;
    case MsgButtons::OkCancel:
      return answer == MsgAnswer::Ok || answer == MsgAnswer::Cancel;
    case MsgButtons::YesNo:
      return answer == MsgAnswer::Yes || answer == MsgAnswer::No;
  }
  return false;
}

ScriptedAnswers::Taken ScriptedAnswers::Take(const MessageBoxRequest& request) {
  Taken taken;
  if (answers_.empty()) {
    taken.answer = ButtonAnswer(request.buttons, DefaultPosition(request));
    taken.byDefault = true;
    return taken;
  }
  taken.answer = answers_.front();
  answers_.pop_front();
  if (!FitsButtons(taken.answer, request.buttons)) {
    throw AutomationError(err::kInvalidArg, "velKLK.UserInterface",
                          std::string("The answer '") + AnswerName(taken.answer) +
                              "' does not fit a message box with the buttons '" +
                              ButtonsName(request.buttons) + "' (\"" + request.title + "\")");
  }
  return taken;
}

}  // namespace velklk
