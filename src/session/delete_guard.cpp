#include "session/delete_guard.h"

#include <charconv>

#include "diagnostics/text_helpers.h"
#include "platform/host.h"
#include "platform/outlook.h"
#include "session/helpers.h"
#include "session/shared_state.h"
#include "session/startup.h"

namespace velklk {
namespace {

constexpr int kMsgDelete = 4001;
constexpr int kMsgTitleGuard = 4003;

// A whole number of at most nine digits, nothing else (no sign, no blank).
std::optional<long> WholeNumber(const std::string& text) {
  if (text.empty() || text.size() > 9 || text.front() < '0' || text.front() > '9')
    return std::nullopt;
  long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

DeleteGuardLimit CurrentLimit() {
  return ParseDeleteGuard(ReadPrivateSetting(setting::kDeleteGuard, ""))
      .value_or(DeleteGuardLimit{});
}

// The user's answer, once the count is known to be above the limit; `total`
// is asked for only when needed.
template <typename Total>
bool Allowed(long count, Total&& total, bool outlook, const std::string& container, int message) {
  const DeleteGuardLimit limit = CurrentLimit();
  if (!limit.on || count <= limit.items) return true;
  const long all = total();
  if (limit.percent > 0 && count * 100 <= static_cast<long>(limit.percent) * all) return true;
  const std::string n = std::to_string(count);
  const MsgAnswer answer =
      ShowMessage(FormatText(Msg(message), {n, std::to_string(all), container, n}),
                  Msg(kMsgTitleGuard), MsgButtons::YesNo, MsgIcon::Exclamation, 2);
  if (answer == MsgAnswer::Yes) return true;
  State().DeletionsRefused.push_back({outlook, container, count, all});
  return false;
}

}  // namespace

std::optional<DeleteGuardLimit> ParseDeleteGuard(const std::string& text) {
  const std::string value = Trim(text);
  if (value.empty()) return DeleteGuardLimit{};
  DeleteGuardLimit limit{true, 0, 0};
  bool items = false, percent = false;
  for (const std::string& raw : Split(value, ';')) {
    const std::string part = Trim(raw);
    if (!part.empty() && part.back() == '%') {
      const auto p = WholeNumber(Trim(part.substr(0, part.size() - 1)));
      if (!p || *p > 100 || percent) return std::nullopt;
      limit.percent = static_cast<int>(*p);
      percent = true;
    } else {
      const auto n = WholeNumber(part);
      if (!n || items) return std::nullopt;
      limit.items = *n;
      items = true;
    }
  }
  if (items && !percent && limit.items == 0) limit.on = false;  // "0": off
  return limit;
}

bool MayDeleteFromFolder(OlFolder& folder, long count) {
  std::string path = folder.FolderPath();
  if (path.rfind("\\\\", 0) == 0) path = path.substr(2);
  return Allowed(
      count, [&] { return static_cast<long>(Need(folder.Items(), "DeleteGuard").Count()); }, true,
      path, kMsgDelete);
}

bool MayDeleteFromTable(HostTable& table, long count) {
  return Allowed(
      count, [&] { return static_cast<long>(table.SelectRows({"ID"}, "").size()); }, false,
      table.Name(), kMsgDelete);
}

}  // namespace velklk
