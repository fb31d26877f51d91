#include "addin/type_library.h"

#include <tuple>
#include <type_traits>
#include <utility>

#include "addin/public_classes.h"
#include "platform/automation_error.h"
#include "platform/host.h"
#include "platform/text_case.h"

namespace velklk {
namespace {

constexpr const char* kSource = "velKLK";

using P = ParamKind;

[[noreturn]] void TypeMismatch(const ParamInfo& param) {
  throw AutomationError(err::kTypeMismatch, kSource,
                        std::string("Type mismatch for parameter ") + param.name + " (" +
                            ParamKindName(param.kind) + ")");
}

// --- Parameter types -----------------------------------------------------
// A parameter's kind follows from the C++ type its method takes by
// reference; a method with any other parameter type cannot be a member.

constexpr ParamKind KindOf(const std::shared_ptr<HostApplication>*) { return P::HostApplication; }
constexpr ParamKind KindOf(const std::shared_ptr<HostDatabase>*) { return P::HostDatabase; }
constexpr ParamKind KindOf(const std::string*) { return P::String; }
constexpr ParamKind KindOf(const bool*) { return P::Boolean; }
constexpr ParamKind KindOf(const AutoDate*) { return P::Date; }

// Converts the caller's argument to the parameter's type. An empty argument
// is Nothing, "", False or the zero date.
template <class T>
void Convert(const ParamInfo& param, const Variant& value, std::shared_ptr<T>& out) {
  if (value.IsEmpty()) return;
  if (!value.IsObject() || (value.ToObject() && !value.As<T>())) TypeMismatch(param);
  out = value.As<T>();
}

void Convert(const ParamInfo& param, const Variant& value, std::string& out) {
  if (value.IsNull() || value.IsObject() || value.IsList()) TypeMismatch(param);
  out = value.ToText();
}

void Convert(const ParamInfo& param, const Variant& value, bool& out) {
  using K = Variant::Kind;
  const K kind = value.GetKind();
  if (kind == K::Text) {
    const std::string text = value.ToText();
    if (SameIdentifier(text, "True")) {
      out = true;
    } else if (SameIdentifier(text, "False")) {
      out = false;
    } else {
      TypeMismatch(param);
    }
  } else if (kind == K::Empty || kind == K::Bool || kind == K::Integer || kind == K::Double) {
    out = value.ToBool();
  } else {
    TypeMismatch(param);
  }
}

void Convert(const ParamInfo& param, const Variant& value, AutoDate& out) {
  using K = Variant::Kind;
  const K kind = value.GetKind();
  if (kind == K::Text) {
    auto date = AutoDate::Parse(value.ToText());
    if (!date) TypeMismatch(param);
    out = *date;
  } else if (kind == K::Date || kind == K::Integer || kind == K::Double) {
    out = value.ToDate();
  } else if (kind != K::Empty) {
    TypeMismatch(param);
  }
}

// The value a parameter hands back to the caller.
template <class T>
Variant WrittenBack(const std::shared_ptr<T>& object) {
  return object ? Variant(std::shared_ptr<AutomationObject>(object)) : Variant();
}
Variant WrittenBack(const std::string& text) { return Variant(text); }
Variant WrittenBack(bool value) { return Variant(value); }
Variant WrittenBack(const AutoDate& date) { return Variant(date); }

// --- Rows ------------------------------------------------------------------

// Calls `method` with the arguments converted into storage of exactly its
// parameter types, then writes them back. A member that fails leaves the
// caller's arguments as they were.
template <class T, class R, class... A, std::size_t... I>
Variant CallMethod(R (T::*method)(A...), T& object, const MemberInfo& member,
                   std::vector<Variant>& args, std::index_sequence<I...>) {
  std::tuple<std::remove_reference_t<A>...> values;
  (Convert(member.params[I], args[I], std::get<I>(values)), ...);
  Variant result;
  if constexpr (std::is_void_v<R>) {
    (object.*method)(std::get<I>(values)...);
  } else {
    result = Variant((object.*method)(std::get<I>(values)...));
  }
  ((args[I] = WrittenBack(std::get<I>(values))), ...);
  return result;
}

// A member of the default interface of class T, to be placed in AddClass.
template <class T>
struct Row {
  MemberInfo info;
};

// The row of a method of T, one name per parameter. The dispatch identifier
// is set from the row's position by AddClass.
template <class T, class R, class... A, std::size_t N>
Row<T> MakeRow(const char* name, R (T::*method)(A...), const char* const (&names)[N]) {
  static_assert(N == sizeof...(A), "one name per parameter");
  static_assert((std::is_lvalue_reference_v<A> && ...), "every parameter is passed by reference");
  static_assert(std::is_void_v<R> || std::is_same_v<R, bool>, "the result is a Boolean or none");
  Row<T> row{MemberInfo{name, 0, {}, std::is_same_v<R, bool>, nullptr}};
  std::size_t i = 0;
  (row.info.params.push_back(
       ParamInfo{names[i++], KindOf(static_cast<std::remove_reference_t<A>*>(nullptr))}),
   ...);
  row.info.call = [method](AutomationObject& object, const MemberInfo& member,
                           std::vector<Variant>& args) {
    T* self = dynamic_cast<T*>(&object);
    if (self == nullptr) {
      throw AutomationError(
          err::kMemberNotFound, kSource,
          std::string("Member not found: ") + member.name + " is not a member of this object");
    }
    if (args.size() != sizeof...(A)) {
      throw AutomationError(err::kBadParamCount, kSource,
                            std::string(member.name) + " takes " + std::to_string(sizeof...(A)) +
                                " arguments, not " + std::to_string(args.size()));
    }
    return CallMethod(method, *self, member, args, std::index_sequence_for<A...>{});
  };
  return row;
}

// One row: the member's name is the name of its method.
#define VELKLK_MEMBER(Class, method, ...) MakeRow<Class>(#method, &Class::method, {__VA_ARGS__})

// Adds class T with its default interface; the members take their dispatch
// identifiers from their order.
template <class T>
void AddClass(TypeLibraryInfo& lib, const char* interfaceName, Guid iid, const char* className,
              const char* progid, Guid clsid, std::initializer_list<Row<T>> rows) {
  InterfaceInfo itf{interfaceName, iid, {}};
  for (const Row<T>& row : rows) {
    itf.members.push_back(row.info);
    itf.members.back().dispid = kFirstDispid + static_cast<std::int32_t>(itf.members.size() - 1);
  }
  lib.interfaces.push_back(std::move(itf));
  lib.classes.push_back(
      ClassInfo{className, progid, clsid, nullptr,
                []() -> std::unique_ptr<AutomationObject> { return std::make_unique<T>(); }});
}

TypeLibraryInfo BuildTypeLibrary() {
  TypeLibraryInfo lib{.name = "velKLK",
                      .libid = "{E2613D8E-D7A0-4821-992D-15A7E9D3273C}",
                      .lcid = 0x409,
                      .majorVersion = 2,
                      .minorVersion = 0,
                      .imports = {"velDat", "velDbs", "stdole"},
                      .interfaces = {},
                      .classes = {}};
  AddClass<CMenue>(lib, "_CMenue", "{667DDF3D-F53F-4E4C-9C7A-441969980DAC}", "CMenue",
                   "velKLK.CMenue", "{283E29A9-4DEC-441E-A740-107AB0A315CC}",
                   {
                       VELKLK_MEMBER(CMenue, UpdateAdresse, "oApp"),
                       VELKLK_MEMBER(CMenue, UpdateAnsprechpartner, "oApp"),
                   });
  AddClass<CAppointment>(lib, "_CAppointment", "{66E35FE9-9028-413C-9305-CE1C7E6B0CC5}",
                         "CAppointment", "velKLK.CAppointment",
                         "{2C74C14C-DC55-4620-9FBD-0E5428F591CA}",
                         {
                             VELKLK_MEMBER(CAppointment, NewOutlookAppointment, "oApp"),
                             VELKLK_MEMBER(CAppointment, FindOutlookAppointment, "oApp"),
                             VELKLK_MEMBER(CAppointment, CreateOutlookAppointment, "oApp"),
                         });
  AddClass<CSync>(
      lib, "_CSync", "{4455D906-9534-46DB-A8DD-AED6FB638AEE}", "CSync", "velKLK.CSync",
      "{82CF0F3F-8638-4F7C-B411-F1C1950EDE7B}",
      {
          VELKLK_MEMBER(CSync, SelectOlContactPath, "oApp"),
          VELKLK_MEMBER(CSync, SelectOLAppointmentPath, "oApp"),
          VELKLK_MEMBER(CSync, SelectOlTaskPath, "oApp"),
          VELKLK_MEMBER(CSync, ConfigAppintmentTypes, "oApp"),
          VELKLK_MEMBER(CSync, ClearContactsVelSearch, "oApp"),
          VELKLK_MEMBER(CSync, AppSync2OL, "oApp", "sOLID", "sOlTable", "sActivityID",
                        "sActivityTable", "sSubjectExpression"),
          VELKLK_MEMBER(CSync, AddressOrContactSync2OL, "oApp", "sOLID", "sOlTable"),
          VELKLK_MEMBER(CSync, TaskSync2OL, "oApp", "sOLID", "sOlTable", "pbResponsibleGroup"),
          VELKLK_MEMBER(CSync, SyncContacts2VEL, "oApp"),
          VELKLK_MEMBER(CSync, SyncAppointments2VEL, "oApp", "dStartFrom", "dStartTo",
                        "bImportAktivitaeten", "bImportCalaTermine"),
          VELKLK_MEMBER(CSync, SyncTasks2VEL, "oApp", "pbResponsibleGroup"),
          VELKLK_MEMBER(CSync, CreateOutlookTask, "pobjDB", "psID"),
      });
  // Every class brings one interface; point each at its own once the
  // interface list no longer grows.
  for (std::size_t i = 0; i < lib.classes.size(); ++i) {
    lib.classes[i].defaultInterface = &lib.interfaces[i];
  }
  return lib;
}

#undef VELKLK_MEMBER

// An instance of a public class: the C++ object and its class.
class ClassObject final : public DispatchObject {
 public:
  explicit ClassObject(const ClassInfo& info) : info_(info), object_(info.create()) {}
  const ClassInfo& Class() const override { return info_; }
  AutomationObject& Object() override { return *object_; }
  Variant InvokeMember(const MemberInfo& member, std::vector<Variant>& args) override {
    return member.call(*object_, member, args);
  }

 private:
  const ClassInfo& info_;
  std::unique_ptr<AutomationObject> object_;
};

}  // namespace

const char* ParamKindName(ParamKind kind) {
  switch (kind) {
    case P::HostApplication:
      return "HostApplication";
    case P::HostDatabase:
      return "HostDatabase";
    case P::String:
      return "String";
    case P::Boolean:
      return "Boolean";
    case P::Date:
      return "Date";
  }
  return "";
}

const TypeLibraryInfo& TypeLibrary() {
  static const TypeLibraryInfo lib = BuildTypeLibrary();
  return lib;
}

std::unique_ptr<DispatchObject> CreateObject(const std::string& progid) {
  for (const ClassInfo& c : TypeLibrary().classes) {
    if (SameIdentifier(progid, c.progid)) return std::make_unique<ClassObject>(c);
  }
  throw AutomationError(err::kClassNotRegistered, kSource, "Class not registered: " + progid);
}

const MemberInfo& FindMember(const DispatchObject& object, const std::string& name) {
  for (const auto& member : object.Class().defaultInterface->members) {
    if (SameIdentifier(member.name, name)) return member;
  }
  throw AutomationError(err::kUnknownName, kSource,
                        "Unknown name: " + name + " (" + object.Class().name + ")");
}

const MemberInfo& FindMember(const DispatchObject& object, std::int32_t dispid) {
  for (const auto& member : object.Class().defaultInterface->members) {
    if (member.dispid == dispid) return member;
  }
  throw AutomationError(err::kMemberNotFound, kSource,
                        "Member not found: dispatch identifier " + std::to_string(dispid));
}

Variant Invoke(DispatchObject& object, const std::string& name, std::vector<Variant>& args) {
  return object.InvokeMember(FindMember(object, name), args);
}

Variant Invoke(DispatchObject& object, std::int32_t dispid, std::vector<Variant>& args) {
  return object.InvokeMember(FindMember(object, dispid), args);
}

Variant ArgumentFromText(ParamKind kind, const std::string& text) {
  const ParamInfo param{"argument", kind};
  switch (kind) {
    case P::String:
      return Variant(text);
    case P::Boolean:
      if (SameIdentifier(text, "True")) return Variant(true);
      if (SameIdentifier(text, "False")) return Variant(false);
      TypeMismatch(param);
    case P::Date: {
      auto date = AutoDate::Parse(text);
      if (!date) TypeMismatch(param);
      return Variant(*date);
    }
    case P::HostApplication:
    case P::HostDatabase:
      TypeMismatch(param);
  }
  TypeMismatch(param);
}

std::vector<Variant> ArgumentsFromTexts(const MemberInfo& member,
                                        const std::shared_ptr<AutomationObject>& app,
                                        const std::shared_ptr<AutomationObject>& db,
                                        const std::vector<std::string>& texts) {
  std::vector<Variant> args;
  std::size_t next = 0;
  std::size_t wanted = 0;
  for (const auto& param : member.params) {
    if (param.kind != P::HostApplication && param.kind != P::HostDatabase) ++wanted;
  }
  if (texts.size() != wanted) {
    throw AutomationError(err::kBadParamCount, kSource,
                          std::string(member.name) + " takes " + std::to_string(wanted) +
                              " arguments besides the host objects, not " +
                              std::to_string(texts.size()));
  }
  for (const auto& param : member.params) {
    args.emplace_back();
    if (param.kind == P::HostApplication) {
      if (app) args.back() = Variant(app);
    } else if (param.kind == P::HostDatabase) {
      if (db) args.back() = Variant(db);
    } else {
      const std::string& text = texts[next++];
      try {
        args.back() = ArgumentFromText(param.kind, text);
      } catch (const AutomationError& e) {
        // Name the parameter and the text, so that a caller sees which of
        // its arguments was refused.
        throw AutomationError(e.Number(), kSource,
                              std::string("Type mismatch for parameter ") + param.name + " (" +
                                  ParamKindName(param.kind) + "): '" + text + "'");
      }
    }
  }
  return args;
}

}  // namespace velklk
