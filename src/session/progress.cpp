#include "session/progress.h"

#include "platform/user_interface.h"
#include "session/helpers.h"
#include "session/shared_state.h"

namespace velklk {

RunProgress::RunProgress(int taskMessage, long total)
    : ui_(State().services.ui), task_(ui_ ? Msg(taskMessage) : std::string()), total_(total) {
  Tell();
}

RunProgress::~RunProgress() {
  if (ui_) ui_->ProgressEnd();
}

void RunProgress::Tell() {
  if (ui_) ui_->Progress(task_, done_, total_);
}

}  // namespace velklk
