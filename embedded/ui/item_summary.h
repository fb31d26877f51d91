// What the user interfaces tell about an item they display: its kind, its
// subject or filing name and its link key. Read best effort: a property the
// item cannot give is left out.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/export.h"

namespace velklk {

class OlItem;

struct VELKLK_API ItemSummary {
  int classNumber = 0;
  std::string className;  // "contact", "appointment", "task", "distlist" or the number
  std::optional<std::string> subject;
  std::optional<std::string> fileAs;
  std::optional<std::string> velSearch;
};

VELKLK_API ItemSummary SummarizeItem(OlItem& item);

}  // namespace velklk
