#include "addin/type_library.h"

#include <cctype>
#include <functional>

#include "addin/public_classes.h"
#include "platform/automation_error.h"
#include "platform/host.h"

namespace velklk {
namespace {

constexpr const char* kSource = "velKLK";

using P = ParamKind;

const ParamInfo kApp{"oApp", P::HostApplication};

InterfaceInfo MakeInterface(const char* name, Guid iid,
                            std::vector<std::pair<const char*, std::vector<ParamInfo>>> members,
                            std::vector<bool> returnsBoolean) {
  InterfaceInfo info{name, iid, {}};
  for (std::size_t i = 0; i < members.size(); ++i) {
    info.members.push_back(MemberInfo{members[i].first, kFirstDispid + static_cast<std::int32_t>(i),
                                      std::move(members[i].second), returnsBoolean[i]});
  }
  return info;
}

TypeLibraryInfo BuildTypeLibrary() {
  TypeLibraryInfo lib;
  lib.name = "velKLK";
  lib.libid = "{E2613D8E-D7A0-4821-992D-15A7E9D3273C}";
  lib.lcid = 0x409;
  lib.majorVersion = 2;
  lib.minorVersion = 0;
  lib.imports = {"velDat", "velDbs", "stdole"};
  lib.interfaces.push_back(MakeInterface(
      "_CMenue", "{667DDF3D-F53F-4E4C-9C7A-441969980DAC}",
      {{"UpdateAdresse", {kApp}}, {"UpdateAnsprechpartner", {kApp}}}, {false, false}));
  lib.interfaces.push_back(MakeInterface("_CAppointment", "{66E35FE9-9028-413C-9305-CE1C7E6B0CC5}",
                                         {{"NewOutlookAppointment", {kApp}},
                                          {"FindOutlookAppointment", {kApp}},
                                          {"CreateOutlookAppointment", {kApp}}},
                                         {false, false, false}));
  lib.interfaces.push_back(MakeInterface(
      "_CSync", "{4455D906-9534-46DB-A8DD-AED6FB638AEE}",
      {{"SelectOlContactPath", {kApp}},
       {"SelectOLAppointmentPath", {kApp}},
       {"SelectOlTaskPath", {kApp}},
       {"ConfigAppintmentTypes", {kApp}},
       {"ClearContactsVelSearch", {kApp}},
       {"AppSync2OL",
        {kApp,
         {"sOLID", P::String},
         {"sOlTable", P::String},
         {"sActivityID", P::String},
         {"sActivityTable", P::String},
         {"sSubjectExpression", P::String}}},
       {"AddressOrContactSync2OL", {kApp, {"sOLID", P::String}, {"sOlTable", P::String}}},
       {"TaskSync2OL",
        {kApp, {"sOLID", P::String}, {"sOlTable", P::String}, {"pbResponsibleGroup", P::Boolean}}},
       {"SyncContacts2VEL", {kApp}},
       {"SyncAppointments2VEL",
        {kApp,
         {"dStartFrom", P::Date},
         {"dStartTo", P::Date},
         {"bImportAktivitaeten", P::Boolean},
         {"bImportCalaTermine", P::Boolean}}},
       {"SyncTasks2VEL", {kApp, {"pbResponsibleGroup", P::Boolean}}},
       {"CreateOutlookTask", {{"pobjDB", P::HostDatabase}, {"psID", P::String}}}},
      {true, true, true, false, true, true, true, true, true, true, true, true}));
  lib.classes = {
      {"CMenue", "velKLK.CMenue", "{283E29A9-4DEC-441E-A740-107AB0A315CC}", &lib.interfaces[0]},
      {"CAppointment", "velKLK.CAppointment", "{2C74C14C-DC55-4620-9FBD-0E5428F591CA}",
       &lib.interfaces[1]},
      {"CSync", "velKLK.CSync", "{82CF0F3F-8638-4F7C-B411-F1C1950EDE7B}", &lib.interfaces[2]},
  };
  return lib;
}

bool EqualsNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

[[noreturn]] void TypeMismatch(const ParamInfo& param) {
  throw AutomationError(err::kTypeMismatch, kSource,
                        std::string("Type mismatch for parameter ") + param.name + " (" +
                            ParamKindName(param.kind) + ")");
}

// The arguments of one call, converted to their parameter types and held
// here so that the member can change them by reference.
class Arguments {
 public:
  Arguments(const MemberInfo& member, std::vector<Variant>& args) : member_(member), args_(args) {
    if (args.size() != member.params.size()) {
      throw AutomationError(err::kBadParamCount, kSource,
                            std::string(member.name) + " takes " +
                                std::to_string(member.params.size()) + " arguments, not " +
                                std::to_string(args.size()));
    }
    for (std::size_t i = 0; i < args.size(); ++i) Convert(i);
  }

  std::shared_ptr<HostApplication>& App(std::size_t i) { return apps_[i]; }
  std::shared_ptr<HostDatabase>& Db(std::size_t i) { return dbs_[i]; }
  std::string& Text(std::size_t i) { return texts_[i]; }
  bool& Bool(std::size_t i) { return bools_[i]; }
  AutoDate& Date(std::size_t i) { return dates_[i]; }

  // Writes the values back into the caller's arguments.
  void WriteBack() {
    for (std::size_t i = 0; i < args_.size(); ++i) {
      switch (member_.params[i].kind) {
        case P::HostApplication:
          args_[i] = apps_[i] ? Variant(std::shared_ptr<AutomationObject>(apps_[i])) : Variant();
          break;
        case P::HostDatabase:
          args_[i] = dbs_[i] ? Variant(std::shared_ptr<AutomationObject>(dbs_[i])) : Variant();
          break;
        case P::String:
          args_[i] = Variant(texts_[i]);
          break;
        case P::Boolean:
          args_[i] = Variant(bools_[i]);
          break;
        case P::Date:
          args_[i] = Variant(dates_[i]);
          break;
      }
    }
  }

 private:
  void Convert(std::size_t i) {
    const ParamInfo& param = member_.params[i];
    const Variant& value = args_[i];
    using K = Variant::Kind;
    const K kind = value.GetKind();
    switch (param.kind) {
      case P::HostApplication:
        if (kind == K::Empty) break;
        if (kind != K::Object || (value.ToObject() && !value.As<HostApplication>())) {
          TypeMismatch(param);
        }
        apps_[i] = value.As<HostApplication>();
        break;
      case P::HostDatabase:
        if (kind == K::Empty) break;
        if (kind != K::Object || (value.ToObject() && !value.As<HostDatabase>())) {
          TypeMismatch(param);
        }
        dbs_[i] = value.As<HostDatabase>();
        break;
      case P::String:
        if (kind == K::Null || kind == K::Object || kind == K::List) TypeMismatch(param);
        texts_[i] = value.ToText();
        break;
      case P::Boolean:
        if (kind == K::Text) {
          const std::string text = value.ToText();
          if (EqualsNoCase(text, "True")) {
            bools_[i] = true;
          } else if (EqualsNoCase(text, "False")) {
            bools_[i] = false;
          } else {
            TypeMismatch(param);
          }
        } else if (kind == K::Empty || kind == K::Bool || kind == K::Integer || kind == K::Double) {
          bools_[i] = value.ToBool();
        } else {
          TypeMismatch(param);
        }
        break;
      case P::Date:
        if (kind == K::Text) {
          auto date = AutoDate::Parse(value.ToText());
          if (!date) TypeMismatch(param);
          dates_[i] = *date;
        } else if (kind == K::Empty || kind == K::Date || kind == K::Integer || kind == K::Double) {
          dates_[i] = kind == K::Empty ? AutoDate() : value.ToDate();
        } else {
          TypeMismatch(param);
        }
        break;
    }
  }

  const MemberInfo& member_;
  std::vector<Variant>& args_;
  std::array<std::shared_ptr<HostApplication>, 8> apps_{};
  std::array<std::shared_ptr<HostDatabase>, 8> dbs_{};
  std::array<std::string, 8> texts_{};
  std::array<bool, 8> bools_{};
  std::array<AutoDate, 8> dates_{};
};

const ClassInfo& ClassNamed(const char* name) {
  for (const auto& c : TypeLibrary().classes) {
    if (std::string(c.name) == name) return c;
  }
  throw AutomationError(err::kClassNotRegistered, kSource, std::string("class ") + name);
}

// The member's position in its interface.
int Position(const MemberInfo& member) { return member.dispid - kFirstDispid; }

class MenueDispatch final : public DispatchObject {
 public:
  const ClassInfo& Class() const override { return ClassNamed("CMenue"); }
  AutomationObject& Object() override { return object_; }
  Variant InvokeMember(const MemberInfo& member, std::vector<Variant>& args) override {
    Arguments a(member, args);
    switch (Position(member)) {
      case 0:
        object_.UpdateAdresse(a.App(0));
        break;
      case 1:
        object_.UpdateAnsprechpartner(a.App(0));
        break;
    }
    a.WriteBack();
    return {};
  }

 private:
  CMenue object_;
};

class AppointmentDispatch final : public DispatchObject {
 public:
  const ClassInfo& Class() const override { return ClassNamed("CAppointment"); }
  AutomationObject& Object() override { return object_; }
  Variant InvokeMember(const MemberInfo& member, std::vector<Variant>& args) override {
    Arguments a(member, args);
    switch (Position(member)) {
      case 0:
        object_.NewOutlookAppointment(a.App(0));
        break;
      case 1:
        object_.FindOutlookAppointment(a.App(0));
        break;
      case 2:
        object_.CreateOutlookAppointment(a.App(0));
        break;
    }
    a.WriteBack();
    return {};
  }

 private:
  CAppointment object_;
};

class SyncDispatch final : public DispatchObject {
 public:
  const ClassInfo& Class() const override { return ClassNamed("CSync"); }
  AutomationObject& Object() override { return object_; }
  Variant InvokeMember(const MemberInfo& member, std::vector<Variant>& args) override {
    Arguments a(member, args);
    Variant result;
    CSync& o = object_;
    switch (Position(member)) {
      case 0:
        result = o.SelectOlContactPath(a.App(0));
        break;
      case 1:
        result = o.SelectOLAppointmentPath(a.App(0));
        break;
      case 2:
        result = o.SelectOlTaskPath(a.App(0));
        break;
      case 3:
        o.ConfigAppintmentTypes(a.App(0));
        break;
      case 4:
        result = o.ClearContactsVelSearch(a.App(0));
        break;
      case 5:
        result = o.AppSync2OL(a.App(0), a.Text(1), a.Text(2), a.Text(3), a.Text(4), a.Text(5));
        break;
      case 6:
        result = o.AddressOrContactSync2OL(a.App(0), a.Text(1), a.Text(2));
        break;
      case 7:
        result = o.TaskSync2OL(a.App(0), a.Text(1), a.Text(2), a.Bool(3));
        break;
      case 8:
        result = o.SyncContacts2VEL(a.App(0));
        break;
      case 9:
        result = o.SyncAppointments2VEL(a.App(0), a.Date(1), a.Date(2), a.Bool(3), a.Bool(4));
        break;
      case 10:
        result = o.SyncTasks2VEL(a.App(0), a.Bool(1));
        break;
      case 11:
        result = o.CreateOutlookTask(a.Db(0), a.Text(1));
        break;
    }
    a.WriteBack();
    return result;
  }

 private:
  CSync object_;
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
  if (EqualsNoCase(progid, "velKLK.CSync")) return std::make_unique<SyncDispatch>();
  if (EqualsNoCase(progid, "velKLK.CMenue")) return std::make_unique<MenueDispatch>();
  if (EqualsNoCase(progid, "velKLK.CAppointment")) return std::make_unique<AppointmentDispatch>();
  throw AutomationError(err::kClassNotRegistered, kSource, "Class not registered: " + progid);
}

const MemberInfo& FindMember(const DispatchObject& object, const std::string& name) {
  for (const auto& member : object.Class().defaultInterface->members) {
    if (EqualsNoCase(member.name, name)) return member;
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
      if (EqualsNoCase(text, "True")) return Variant(true);
      if (EqualsNoCase(text, "False")) return Variant(false);
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
