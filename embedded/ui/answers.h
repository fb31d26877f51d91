// The answers a scripted user gives to message boxes, in order.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/export.h"
#include "platform/user_interface.h"

namespace velklk {

// "ok", "cancel", "yes" or "no" (any case); nothing for any other text.
VELKLK_API std::optional<MsgAnswer> ParseAnswer(std::string_view text);

class VELKLK_API ScriptedAnswers {
 public:
  ScriptedAnswers() = default;
  explicit ScriptedAnswers(std::vector<MsgAnswer> answers);
  // Raises AutomationError 0x80070057 for a text that names no answer.
  static ScriptedAnswers FromTexts(const std::vector<std::string>& texts);

  struct Taken {
    MsgAnswer answer = MsgAnswer::Ok;
    bool byDefault = false;  // the list had run out
  };
  // The next answer for a box. When the list has run out, the box's default
  // button. Raises AutomationError 0x80070057 when the next answer is not one
  // of the box's buttons (the answer is used up all the same).
  Taken Take(const MessageBoxRequest& request);

  void Add(MsgAnswer answer) { answers_.push_back(answer); }
  std::size_t Remaining() const { return answers_.size(); }

 private:
  std::deque<MsgAnswer> answers_;
};

// The default button position of a box: 1 or 2, and 1 for a box with only OK.
VELKLK_API int DefaultPosition(const MessageBoxRequest& request);
// True when the answer is one of the buttons of that set.
VELKLK_API bool FitsButtons(MsgAnswer answer, MsgButtons buttons);

}  // namespace velklk
