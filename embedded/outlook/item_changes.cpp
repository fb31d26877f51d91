#include "outlook/item_changes.h"

#include "changes/change_observer.h"

namespace velklk::outlook {
namespace {

using Kind = ChangeRecord::Kind;

// "store\folder", as the command's folder arguments write it.
std::string FolderName(const Folder& folder) {
  const std::string path = folder.Path();
  return path.rfind("\\\\", 0) == 0 ? path.substr(2) : path;
}

std::string NameOf(const Record& record, const ItemData& data) {
  static const int kSubject = FindProperty("Subject").value();
  const int id = record.kind == ItemKind::Contact ? prop::kFileAs : kSubject;
  if (!KindHas(record.kind, id)) return {};
  const PropValue value = Model::Value(record, data, id);
  return std::holds_alternative<std::string>(value) ? std::get<std::string>(value) : std::string();
}

Variant LinksOf(const ItemData& data) {
  VariantList links;
  for (const auto& link : data.links) links.emplace_back(link.entryId);
  return links.empty() ? Variant() : Variant(std::move(links));
}

ChangeRecord RecordOf(Kind kind, const Record& record, const std::string& entryId,
                      const ItemData& data) {
  ChangeRecord change;
  change.half = ChangeRecord::Half::Outlook;
  change.kind = kind;
  change.container = FolderName(*record.folder);
  change.key = entryId;
  change.name = NameOf(record, data);
  return change;
}

// The values of an item: its stored properties, the derived ones, its user
// properties and its links; `before` chooses the side they go to.
void AddValues(ChangeRecord& change, const Record& record, const ItemData& data, bool before) {
  auto add = [&](std::string name, Variant value) {
    if (before) {
      change.fields.push_back({std::move(name), std::move(value), Variant()});
    } else {
      change.fields.push_back({std::move(name), Variant(), std::move(value)});
    }
  };
  for (const auto& [id, value] : data.props) add(Property(id).name, ToVariant(value));
  for (int id : {prop::kFileAs, prop::kFullName}) {
    if (KindHas(record.kind, id) && !data.Find(id))
      add(Property(id).name, ToVariant(Model::Value(record, data, id)));
  }
  for (const auto& u : data.user) add("user." + u.name, ToVariant(u.value));
  if (!data.links.empty()) add("links", LinksOf(data));
}

}  // namespace

void NoteSaved(ChangeObserver& observer, const Record& record, const Record& staged,
               const ItemData& after, bool added) {
  if (added) {
    ChangeRecord change = RecordOf(Kind::Created, staged, staged.entryId, after);
    if (observer.KeepsValues()) AddValues(change, staged, after, false);
    observer.Record(change);
    return;
  }
  const ItemData& before = record.saved;
  ChangeRecord change = RecordOf(Kind::Changed, record, record.entryId, after);
  auto compare = [&](const std::string& name, Variant a, Variant b) {
    if (!(a == b)) change.fields.push_back({name, std::move(a), std::move(b)});
  };
  // The stored properties of both sides, in id order; a property one side
  // lacks has its default there.
  auto b = before.props.begin();
  auto a = after.props.begin();
  while (b != before.props.end() || a != after.props.end()) {
    const int id = b == before.props.end()  ? a->first
                   : a == after.props.end() ? b->first
                                            : std::min(a->first, b->first);
    const PropValue& was =
        b != before.props.end() && b->first == id ? (b++)->second : Property(id).defaultValue;
    const PropValue& is =
        a != after.props.end() && a->first == id ? (a++)->second : Property(id).defaultValue;
    if (!(was == is)) compare(Property(id).name, ToVariant(was), ToVariant(is));
  }
  for (int id : {prop::kFileAs, prop::kFullName, prop::kDuration}) {
    if (!KindHas(record.kind, id) || before.Find(id) || after.Find(id)) continue;
    const PropValue was = Model::Value(record, before, id);
    const PropValue is = Model::Value(record, after, id);
    if (!(was == is)) compare(Property(id).name, ToVariant(was), ToVariant(is));
  }
  if (record.modified.Value() != staged.modified.Value())
    compare(Property(prop::kLastModificationTime).name, Variant(record.modified),
            Variant(staged.modified));
  for (const auto& u : before.user) {
    const UserProp* now = nullptr;
    for (const auto& v : after.user)
      if (v.name == u.name) now = &v;
    if (now == nullptr) {
      compare("user." + u.name, ToVariant(u.value), Variant());
    } else if (!(now->value == u.value)) {
      compare("user." + u.name, ToVariant(u.value), ToVariant(now->value));
    }
  }
  for (const auto& v : after.user) {
    bool existed = false;
    for (const auto& u : before.user) existed = existed || u.name == v.name;
    if (!existed) compare("user." + v.name, Variant(), ToVariant(v.value));
  }
  compare("links", LinksOf(before), LinksOf(after));
  if (!change.fields.empty()) observer.Record(change);
}

void NoteDeleted(ChangeObserver& observer, const Record& record) {
  ChangeRecord change = RecordOf(Kind::Deleted, record, record.entryId, record.saved);
  if (observer.KeepsValues()) AddValues(change, record, record.saved, true);
  observer.Record(change);
}

void NoteDefinition(ChangeObserver& observer, const Folder& folder, const std::string& name,
                    OlUserPropertyType type, bool added) {
  ChangeRecord change;
  change.half = ChangeRecord::Half::Outlook;
  change.kind = Kind::Changed;
  change.container = FolderName(folder);
  const Variant typeName(type == OlUserPropertyType::YesNo ? "yesno" : "text");
  change.fields.push_back(
      {"definition." + name, added ? Variant() : typeName, added ? typeName : Variant()});
  observer.Record(change);
}

}  // namespace velklk::outlook
