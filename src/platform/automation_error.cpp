#include "platform/automation_error.h"

#include <fmt/format.h>

namespace velklk {

std::string FormatErrorNumber(std::uint32_t number) {
  if (number < 0x10000u) return std::to_string(number);
  return fmt::format("0x{:08X}", number);
}

std::string AutomationError::NumberText() const { return FormatErrorNumber(number_); }

std::string AutomationError::HexText() const { return fmt::format("{:X}", number_); }

void RaiseNotImplemented(const std::string& source, const std::string& what) {
  throw AutomationError(err::kNotImplemented, source, "not implemented: " + what);
}

}  // namespace velklk
