// The changes of one call, as the stores told them (change_observer.h),
// reduced to their net effect per host table and per Outlook folder: a
// record made and deleted again in the same call is no change, a field set
// back to its value is none either, and a record changed several times is
// one change from its first value to its last. That is what a dump before
// and a dump after the call show apart.
#pragma once

#include <iosfwd>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "changes/change_observer.h"

namespace velklk {

class ChangeLog final : public ChangeObserver {
 public:
  // `keepValues`: keep the values of records made and deleted as well (for
  // Changes()); without them the log holds only what its counts need.
  explicit ChangeLog(bool keepValues = false) : keepValues_(keepValues) {}

  void Record(const ChangeRecord& change) noexcept override;
  bool KeepsValues() const override { return keepValues_; }
  void Clear() {
    containers_.clear();
    last_ = nullptr;
  }

  struct Counts {
    long created = 0;
    long changed = 0;
    long deleted = 0;
    long definitions = 0;  // property definitions of an Outlook folder added or deleted
  };
  // Containers (tables, folders) without a net change are left out.
  std::map<std::string, Counts> CountsOf(ChangeRecord::Half half) const;
  // {"host": {TABLE: {"created": n, "changed": n, "deleted": n}}, "outlook":
  // {FOLDER: {...}}}; an Outlook folder whose property definitions changed
  // also has "definitions": n.
  nlohmann::ordered_json CountsJson() const;
  // {"host": {TABLE: {"created": [...], "changed": [...], "deleted": [...]}},
  // "outlook": {...}}: a record made is {"key", "values"}, one changed
  // {"key", "fields": {NAME: [before, after]}}, one deleted {"key",
  // "values"} (the values it had); Outlook items also carry "name".
  nlohmann::ordered_json ChangesJson() const;
  // The same object's members ("host":{...},"outlook":{...}) written as
  // compact JSON text, one record at a time (texts that are not UTF-8 get
  // U+FFFD): the changes of a large call are never whole in memory.
  void WriteChanges(std::ostream& out) const;

  // A value as the fixture format writes it (dates as "yyyy-MM-dd hh:mm:ss",
  // links as their address, nothing as null).
  static nlohmann::ordered_json ValueJson(const Variant& value);

 private:
  struct Entry {
    enum class State { Created, Existing, Deleted } state = State::Existing;
    std::string name;
    // Created and Deleted: the values made or lost (when kept). Existing:
    // the first value before and the last after of each field changed.
    std::map<std::string, std::pair<Variant, Variant>> fields;
    bool Changed() const;
  };
  // By key; written out in the order of the keys.
  using Container = std::unordered_map<std::string, Entry>;
  static std::vector<const Container::value_type*> InKeyOrder(const Container& container);
  Container& ContainerOf(const ChangeRecord& change);
  enum class Section { Created, Changed, Deleted, Definitions };
  static std::optional<std::pair<Section, nlohmann::ordered_json>> EntryJson(
      ChangeRecord::Half half, const std::string& key, const Entry& entry);
  std::map<std::pair<ChangeRecord::Half, std::string>, Container> containers_;
  // The container of the last record: a call's records mostly come from a
  // few tables and folders in turn.
  std::pair<const std::pair<ChangeRecord::Half, std::string>, Container>* last_ = nullptr;
  bool keepValues_;
};

}  // namespace velklk
