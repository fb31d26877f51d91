#include "window_ui.h"

#include <iostream>

#include "commands.h"

#ifdef VELKLK_WITH_QT
#include "ui/qt/qt_ui.h"
#endif

namespace velklk::cli {

std::unique_ptr<UserInterface> OpenWindows([[maybe_unused]] const std::string& language) {
#ifdef VELKLK_WITH_QT
  const std::string problem = WindowProblem();
  if (!problem.empty()) throw UsageError{problem};
  auto windows = std::make_unique<QtUserInterface>(language);
  // The windows still work, with Qt's own texts in English.
  if (const std::string warning = windows->TranslationProblem(); !warning.empty())
    std::cerr << "velklk: " << warning << "\n";
  return windows;
#else
  throw UsageError{
      "this velklk was built without windows (--ui qt needs the build option VELKLK_QT)"};
#endif
}

}  // namespace velklk::cli
