#include "outlook/item_codec.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "platform/automation_error.h"
#include "platform/text_case.h"

namespace velklk::outlook {
namespace {

void PutVarint(std::string& out, std::uint64_t v) {
  while (v >= 0x80) {
    out.push_back(static_cast<char>((v & 0x7F) | 0x80));
    v >>= 7;
  }
  out.push_back(static_cast<char>(v));
}

void PutString(std::string& out, std::string_view s) {
  PutVarint(out, s.size());
  out.append(s);
}

template <typename T>
void PutFixed(std::string& out, T v) {
  static_assert(sizeof(T) == 8);
  char buf[8];
  std::memcpy(buf, &v, 8);
  out.append(buf, 8);
}

void PutValue(std::string& out, const PropValue& value) {
  out.push_back(static_cast<char>(TypeOf(value)));
  switch (TypeOf(value)) {
    case ValueType::Text:
      PutString(out, std::get<std::string>(value));
      break;
    case ValueType::Bool:
      out.push_back(std::get<bool>(value) ? 1 : 0);
      break;
    case ValueType::Integer:
      PutFixed(out, std::get<std::int64_t>(value));
      break;
    case ValueType::Double:
      PutFixed(out, std::get<double>(value));
      break;
    case ValueType::Date:
      PutFixed(out, std::get<AutoDate>(value).Value());
      break;
  }
}

class Reader {
 public:
  explicit Reader(std::string_view data) : data_(data) {}
  bool AtEnd() const { return pos_ >= data_.size(); }
  std::uint8_t Byte() {
    if (pos_ >= data_.size()) RaiseDamagedProfile("an item's values are cut short");
    return static_cast<std::uint8_t>(data_[pos_++]);
  }
  std::uint64_t Varint() {
    std::uint64_t v = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      const std::uint8_t b = Byte();
      v |= static_cast<std::uint64_t>(b & 0x7F) << shift;
      if (!(b & 0x80)) return v;
    }
    RaiseDamagedProfile("an item's values hold a bad length");
  }
  std::string_view View() {
    const std::uint64_t n = Varint();
    if (n > data_.size() - pos_) RaiseDamagedProfile("an item's values are cut short");
    std::string_view s = data_.substr(pos_, n);
    pos_ += n;
    return s;
  }
  std::string String() { return std::string(View()); }
  template <typename T>
  T Fixed() {
    static_assert(sizeof(T) == 8);
    if (data_.size() - pos_ < 8) RaiseDamagedProfile("an item's values are cut short");
    T v;
    std::memcpy(&v, data_.data() + pos_, 8);
    pos_ += 8;
    return v;
  }
  PropValue Value() {
    const std::uint8_t type = Byte();
    switch (static_cast<ValueType>(type)) {
      case ValueType::Text:
        return String();
      case ValueType::Bool:
        return Byte() != 0;
      case ValueType::Integer:
        return Fixed<std::int64_t>();
      case ValueType::Double: {
        const double v = Fixed<double>();
        if (!std::isfinite(v)) RaiseDamagedProfile("an item's number is not finite");
        return v;
      }
      case ValueType::Date: {
        const double v = Fixed<double>();
        if (!IsCalendarDate(v)) RaiseDamagedProfile("an item's date lies outside the calendar");
        return AutoDate(v);
      }
    }
    RaiseDamagedProfile("an item's value has an unknown type");
  }

 private:
  std::string_view data_;
  std::size_t pos_ = 0;
};

auto ById(int id) {
  return [id](const std::pair<int, PropValue>& p) { return p.first < id; };
}

}  // namespace

void RaiseDamagedProfile(const std::string& what) {
  throw AutomationError(err::kFail, "Outlook", "The Outlook profile is damaged: " + what);
}

const PropValue* ItemData::Find(int id) const {
  auto it = std::partition_point(props.begin(), props.end(), ById(id));
  return it != props.end() && it->first == id ? &it->second : nullptr;
}

void ItemData::Put(int id, PropValue value) {
  if (props.empty() || props.back().first < id) {  // the common case when decoding
    props.emplace_back(id, std::move(value));
    return;
  }
  auto it = std::partition_point(props.begin(), props.end(), ById(id));
  if (it != props.end() && it->first == id) {
    it->second = std::move(value);
  } else {
    props.insert(it, {id, std::move(value)});
  }
}

void ItemData::Erase(int id) {
  auto it = std::partition_point(props.begin(), props.end(), ById(id));
  if (it != props.end() && it->first == id) props.erase(it);
}

UserProp* ItemData::FindUser(std::string_view name) {
  for (auto& u : user)
    if (u.name == name) return &u;
  for (auto& u : user)
    if (SameIdentifier(u.name, name)) return &u;
  return nullptr;
}

const UserProp* ItemData::FindUser(std::string_view name) const {
  return const_cast<ItemData*>(this)->FindUser(name);
}

std::string EncodeItem(const ItemData& data) {
  std::string out;
  out.reserve(64 + data.props.size() * 24);
  for (const auto& [id, value] : data.props) {
    out.push_back('S');
    PutString(out, Property(id).name);
    PutValue(out, value);
  }
  for (const auto& u : data.user) {
    out.push_back('U');
    PutString(out, u.name);
    out.push_back(static_cast<char>(u.type));
    PutValue(out, u.value);
  }
  for (const auto& l : data.links) {
    out.push_back('L');
    PutString(out, l.entryId);
    PutString(out, l.name);
  }
  if (!data.serverKept.empty()) {
    out.push_back('K');
    PutString(out, data.serverKept);
  }
  return out;
}

ItemData DecodeItem(std::string_view blob) {
  ItemData data;
  data.props.reserve(8);
  Reader r(blob);
  while (!r.AtEnd()) {
    const std::uint8_t tag = r.Byte();
    if (tag == 'S') {
      const std::string_view name = r.View();
      PropValue value = r.Value();
      auto id = FindProperty(name);
      if (id && Property(*id).role != PropRole::ReadOnly && TypeOf(value) == Property(*id).type)
        data.Put(*id, std::move(value));
    } else if (tag == 'U') {
      UserProp u;
      u.name = r.String();
      const std::uint8_t type = r.Byte();
      if (type != static_cast<std::uint8_t>(OlUserPropertyType::Text) &&
          type != static_cast<std::uint8_t>(OlUserPropertyType::YesNo))
        RaiseDamagedProfile("a user property has an unknown type");
      u.type = static_cast<OlUserPropertyType>(type);
      u.value = r.Value();
      const ValueType want = u.type == OlUserPropertyType::Text ? ValueType::Text : ValueType::Bool;
      if (TypeOf(u.value) != want)
        RaiseDamagedProfile("user property " + u.name + " has a value of another type");
      data.user.push_back(std::move(u));
    } else if (tag == 'L') {
      LinkRef l;
      l.entryId = r.String();
      l.name = r.String();
      data.links.push_back(std::move(l));
    } else if (tag == 'K') {
      data.serverKept = r.String();
    } else {
      RaiseDamagedProfile("an item's values hold an unknown entry");
    }
  }
  return data;
}

}  // namespace velklk::outlook
