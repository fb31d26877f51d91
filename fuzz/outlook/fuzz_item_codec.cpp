// Feeds arbitrary bytes to the item decoder, as a damaged Outlook profile
// could hold them: any input must decode or raise an automation error, never
// crash. What decodes must encode to a form that decodes to the same values,
// and its values must show as text the way a dump or a find shows them.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "outlook/item_codec.h"
#include "platform/automation_error.h"

using namespace velklk;
using namespace velklk::outlook;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ItemData item;
  try {
    item = DecodeItem(std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const AutomationError&) {
    return 0;
  }
  const std::string stored = EncodeItem(item);
  if (EncodeItem(DecodeItem(stored)) != stored) __builtin_trap();
  for (const auto& [id, value] : item.props) (void)ValueText(value);
  for (const auto& user : item.user) (void)ValueText(user.value);
  return 0;
}
