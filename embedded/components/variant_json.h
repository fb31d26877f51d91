// A value as JSON, the way the velklk command, the fixture documents and the
// change log write values: nothing as null, texts, Booleans and numbers as
// themselves, a date as its "yyyy-MM-dd hh:mm:ss" text, a list element by
// element. Objects have no JSON form of their own; `object` says what stands
// for one.
#pragma once

#include "platform/variant.h"

namespace velklk {

template <class Json, class ObjectText>
Json VariantToJson(const Variant& value, const ObjectText& object) {
  switch (value.GetKind()) {
    case Variant::Kind::Empty:
    case Variant::Kind::Null:
      return nullptr;
    case Variant::Kind::Text:
      return value.ToText();
    case Variant::Kind::Bool:
      return value.ToBool();
    case Variant::Kind::Integer:
      return value.ToLong();
    case Variant::Kind::Double:
      return value.ToDouble();
    case Variant::Kind::Date:
      return value.ToDate().Format();
    case Variant::Kind::Object:
      return object(value);
    case Variant::Kind::List: {
      Json list = Json::array();
      for (const auto& element : value.ToList())
        list.push_back(VariantToJson<Json>(element, object));
      return list;
    }
  }
  return nullptr;
}

}  // namespace velklk
