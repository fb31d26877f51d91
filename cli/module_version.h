// What a module of the command says of itself: the version of velklk it
// belongs to. A module shares the command's classes (their layout, the
// interface it implements), so the command loads only the modules of its own
// version (modules.h).
#pragma once

#include "velklk/version.h"

// Defines the module's mark; once in each module.
#define VELKLK_MODULE_VERSION_MARK                                                       \
  extern "C" __attribute__((visibility("default"))) const char velklk_module_version[] = \
      VELKLK_VERSION_STRING

namespace velklk::cli {

inline constexpr const char* kModuleVersionSymbol = "velklk_module_version";

}  // namespace velklk::cli
