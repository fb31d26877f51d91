#include "platform/user_interface.h"

namespace velklk {

const char* ButtonsName(MsgButtons buttons) {
  switch (buttons) {
    case MsgButtons::Ok: return "ok";
    case MsgButtons::OkCancel: return "okcancel";
    case MsgButtons::YesNo: return "yesno";
  }
  return "ok";
}

const char* IconName(MsgIcon icon) {
  switch (icon) {
    case MsgIcon::None: return "none";
    case MsgIcon::Critical: return "critical";
    case MsgIcon::Exclamation: return "exclamation";
    case MsgIcon::Information: return "information";
    case MsgIcon::Question: return "question";
  }
  return "none";
}

const char* AnswerName(MsgAnswer answer) {
  switch (answer) {
    case MsgAnswer::Ok: return "ok";
    case MsgAnswer::Cancel: return "cancel";
    case MsgAnswer::Yes: return "yes";
    case MsgAnswer::No: return "no";
  }
  return "ok";
}

MsgAnswer ButtonAnswer(MsgButtons buttons, int position) {
  switch (buttons) {
    case MsgButtons::Ok: return MsgAnswer::Ok;
    case MsgButtons::OkCancel: return position == 2 ? MsgAnswer::Cancel : MsgAnswer::Ok;
    case MsgButtons::YesNo: return position == 2 ? MsgAnswer::No : MsgAnswer::Yes;
  }
  return MsgAnswer::Ok;
}

}  // namespace velklk
