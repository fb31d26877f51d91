// velklk-windows.so: the windows of `velklk --ui qt` (windows.h).
#include <iostream>

#include "commands.h"
#include "module_version.h"
#include "ui/qt/qt_ui.h"
#include "windows.h"

VELKLK_MODULE_VERSION_MARK;

extern "C" __attribute__((visibility("default"))) velklk::UserInterface* velklk_open_windows(
    const std::string& language) {
  using velklk::cli::UsageError;
  const std::string problem = velklk::WindowProblem();
  if (!problem.empty()) throw UsageError{problem};
  auto windows = std::make_unique<velklk::QtUserInterface>(language);
  // The windows still work, with Qt's own texts in English.
  if (const std::string warning = windows->TranslationProblem(); !warning.empty())
    std::cerr << "velklk: " << warning << "\n";
  return windows.release();
}
