#include "window_ui.h"

#include "commands.h"

#ifdef VELKLK_WITH_QT
#include "ui/qt/qt_ui.h"
#endif

namespace velklk::cli {

std::unique_ptr<UserInterface> OpenWindows() {
#ifdef VELKLK_WITH_QT
  const std::string problem = WindowProblem();
  if (!problem.empty()) throw UsageError{problem};
  return std::make_unique<QtUserInterface>();
#else
  throw UsageError{
      "this velklk was built without windows (--ui qt needs the build option VELKLK_QT)"};
#endif
}

}  // namespace velklk::cli
