#include "changes/change_log.h"

#include <algorithm>
#include <optional>
#include <ostream>
#include <utility>

#include "components/variant_json.h"
#include "platform/host.h"

namespace velklk {
namespace {

using Half = ChangeRecord::Half;
using Kind = ChangeRecord::Kind;
using Json = nlohmann::ordered_json;

const char* HalfName(Half half) { return half == Half::Host ? "host" : "outlook"; }

}  // namespace

bool ChangeLog::Entry::Changed() const {
  for (const auto& [name, values] : fields)
    if (!SameValue(values.first, values.second)) return true;
  return false;
}

ChangeLog::Container& ChangeLog::ContainerOf(const ChangeRecord& change) {
  if (last_ == nullptr || last_->first.first != change.half ||
      last_->first.second != change.container)
    last_ = &*containers_.try_emplace({change.half, change.container}).first;
  return last_->second;
}

std::vector<const ChangeLog::Container::value_type*> ChangeLog::InKeyOrder(
    const Container& container) {
  std::vector<const Container::value_type*> out;
  out.reserve(container.size());
  for (const auto& entry : container) out.push_back(&entry);
  std::sort(out.begin(), out.end(), [](auto* a, auto* b) { return a->first < b->first; });
  return out;
}

void ChangeLog::Record(const ChangeRecord& change) noexcept {
  Container& container = ContainerOf(change);
  auto found = container.find(change.key);
  if (found == container.end()) {
    found = container.emplace(change.key, Entry{}).first;
    found->second.state =
        change.kind == Kind::Created ? Entry::State::Created : Entry::State::Existing;
    if (change.kind == Kind::Created) {
      if (keepValues_)
        for (const auto& f : change.fields) found->second.fields[f.name] = {Variant(), f.after};
      found->second.name = change.name;
      return;
    }
  }
  Entry& entry = found->second;
  if (!change.name.empty()) entry.name = change.name;
  switch (change.kind) {
    case Kind::Created:
      // Made again after a deletion: what it had against what it has now.
      if (entry.state == Entry::State::Deleted) {
        entry.state = Entry::State::Existing;
        for (auto& [name, values] : entry.fields) values.second = Variant();
        for (const auto& f : change.fields) {
          auto& values = entry.fields[f.name];
          values.second = f.after;
        }
      }
      return;
    case Kind::Changed:
      if (entry.state == Entry::State::Deleted) return;
      for (const auto& f : change.fields) {
        if (entry.state == Entry::State::Created) {
          if (keepValues_) entry.fields[f.name].second = f.after;
          continue;
        }
        auto field = entry.fields.find(f.name);
        if (field == entry.fields.end()) {
          entry.fields.emplace(f.name, std::make_pair(f.before, f.after));
        } else {
          field->second.second = f.after;
        }
      }
      return;
    case Kind::Deleted:
      if (entry.state == Entry::State::Created) {
        container.erase(found);
        return;
      }
      entry.state = Entry::State::Deleted;
      if (!keepValues_) {
        entry.fields.clear();
        return;
      }
      // The values it had before this call: a field changed earlier in the
      // call shows its first value.
      {
        std::map<std::string, std::pair<Variant, Variant>> had;
        for (const auto& f : change.fields) had[f.name] = {f.before, Variant()};
        for (const auto& [name, values] : entry.fields) had[name] = {values.first, Variant()};
        entry.fields = std::move(had);
      }
      return;
  }
}

std::map<std::string, ChangeLog::Counts> ChangeLog::CountsOf(Half half) const {
  std::map<std::string, Counts> out;
  for (const auto& [where, container] : containers_) {
    if (where.first != half) continue;
    Counts counts;
    for (const auto& [key, entry] : container) {
      switch (entry.state) {
        case Entry::State::Created:
          ++counts.created;
          break;
        case Entry::State::Deleted:
          ++counts.deleted;
          break;
        case Entry::State::Existing:
          if (key.empty() && half == Half::Outlook) {
            for (const auto& [name, values] : entry.fields)
              if (!SameValue(values.first, values.second)) ++counts.definitions;
          } else if (entry.Changed()) {
            ++counts.changed;
          }
          break;
      }
    }
    if (counts.created || counts.changed || counts.deleted || counts.definitions)
      out[where.second] = counts;
  }
  return out;
}

Json ChangeLog::CountsJson() const {
  Json out = Json::object();
  for (Half half : {Half::Host, Half::Outlook}) {
    Json part = Json::object();
    for (const auto& [name, c] : CountsOf(half)) {
      Json counts{{"created", c.created}, {"changed", c.changed}, {"deleted", c.deleted}};
      if (c.definitions) counts["definitions"] = c.definitions;
      part[name] = std::move(counts);
    }
    out[HalfName(half)] = std::move(part);
  }
  return out;
}

// Where an entry goes in the changes of its container, and its object
// there ("definitions": the changed definitions themselves); nothing for an
// entry without a net change.
std::optional<std::pair<ChangeLog::Section, Json>> ChangeLog::EntryJson(Half half,
                                                                        const std::string& key,
                                                                        const Entry& entry) {
  Json item{{"key", key}};
  if (half == Half::Outlook && !entry.name.empty()) item["name"] = entry.name;
  if (entry.state == Entry::State::Existing) {
    Json fields = Json::object();
    for (const auto& [name, values] : entry.fields)
      if (!SameValue(values.first, values.second))
        fields[name] = Json::array({ValueJson(values.first), ValueJson(values.second)});
    if (fields.empty()) return std::nullopt;
    if (key.empty() && half == Half::Outlook)
      return std::make_pair(Section::Definitions, std::move(fields));
    item["fields"] = std::move(fields);
    return std::make_pair(Section::Changed, std::move(item));
  }
  Json values = Json::object();
  const bool made = entry.state == Entry::State::Created;
  for (const auto& [name, v] : entry.fields) values[name] = ValueJson(made ? v.second : v.first);
  item["values"] = std::move(values);
  return std::make_pair(made ? Section::Created : Section::Deleted, std::move(item));
}

Json ChangeLog::ChangesJson() const {
  Json out{{"host", Json::object()}, {"outlook", Json::object()}};
  for (const auto& [where, container] : containers_) {
    Json created = Json::array(), changed = Json::array(), deleted = Json::array();
    Json definitions = Json::object();
    for (const auto* keyed : InKeyOrder(container)) {
      auto change = EntryJson(where.first, keyed->first, keyed->second);
      if (!change) continue;
      switch (change->first) {
        case Section::Created:
          created.push_back(std::move(change->second));
          break;
        case Section::Changed:
          changed.push_back(std::move(change->second));
          break;
        case Section::Deleted:
          deleted.push_back(std::move(change->second));
          break;
        case Section::Definitions:
          definitions = std::move(change->second);
          break;
      }
    }
    if (created.empty() && changed.empty() && deleted.empty() && definitions.empty()) continue;
    Json part{{"created", created}, {"changed", changed}, {"deleted", deleted}};
    if (!definitions.empty()) part["definitions"] = std::move(definitions);
    out[HalfName(where.first)][where.second] = std::move(part);
  }
  return out;
}

void ChangeLog::WriteChanges(std::ostream& out) const {
  auto text = [](const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
  };
  for (Half half : {Half::Host, Half::Outlook}) {
    out << (half == Half::Host ? "\"host\":{" : ",\"outlook\":{");
    bool firstContainer = true;
    for (const auto& [where, container] : containers_) {
      if (where.first != half) continue;
      // One pass per section, each entry made into its text and written
      // before the next is made.
      Json definitions;
      bool any = false;
      const auto keys = InKeyOrder(container);
      for (Section section : {Section::Created, Section::Changed, Section::Deleted}) {
        bool first = true;
        for (const auto* keyed : keys) {
          const auto& [key, entry] = *keyed;
          if (section == Section::Created && entry.state != Entry::State::Created) continue;
          if (section == Section::Deleted && entry.state != Entry::State::Deleted) continue;
          if (section == Section::Changed && entry.state != Entry::State::Existing) continue;
          auto change = EntryJson(half, key, entry);
          if (!change) continue;
          if (change->first == Section::Definitions) {
            definitions = std::move(change->second);
            continue;
          }
          if (!any) {
            // The container has a change: its name, then the sections before
            // this one, which were empty.
            out << (firstContainer ? "" : ",") << text(where.second) << ":{\"created\":[";
            if (section != Section::Created) out << "],\"changed\":[";
            if (section == Section::Deleted) out << "],\"deleted\":[";
            firstContainer = false;
            any = true;
          }
          out << (first ? "" : ",") << text(change->second);
          first = false;
        }
        if (any && section != Section::Deleted)
          out << (section == Section::Created ? "],\"changed\":[" : "],\"deleted\":[");
      }
      if (!any && definitions.is_null()) continue;
      if (!any) {
        out << (firstContainer ? "" : ",") << text(where.second)
            << ":{\"created\":[],\"changed\":[],\"deleted\":[";
        firstContainer = false;
      }
      out << "]";
      if (!definitions.is_null()) out << ",\"definitions\":" << text(definitions);
      out << "}";
    }
    out << "}";
  }
}

Json ChangeLog::ValueJson(const Variant& value) {
  return VariantToJson<Json>(value, [](const Variant& v) -> Json {
    if (auto link = v.As<HostLink>()) return link->Target();
    return "<Object>";
  });
}

}  // namespace velklk
