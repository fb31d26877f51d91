// The type library of the add-in as data, and late-bound access to the
// public classes: create an object by its programmatic identifier and invoke
// a member by name or dispatch identifier with by-reference arguments.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/export.h"
#include "platform/variant.h"

namespace velklk {

// A globally unique identifier in its registry form
// ("{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}").
using Guid = const char*;

enum class ParamKind { HostApplication, HostDatabase, String, Boolean, Date };
VELKLK_API const char* ParamKindName(ParamKind kind);  // "HostApplication", "String", ...

struct VELKLK_API ParamInfo {
  const char* name;
  ParamKind kind;
};

struct MemberInfo;

// The call of a member: checks the number of `args` against the member's
// parameters (DISP_E_BADPARAMCOUNT), converts them to the parameter types
// (DISP_E_TYPEMISMATCH), calls the method on `object` and writes the values
// back into `args`. The result is a Boolean or empty. An object of another
// class raises DISP_E_MEMBERNOTFOUND.
using MemberCall = std::function<Variant(AutomationObject& object, const MemberInfo& member,
                                         std::vector<Variant>& args)>;

// One member of an interface. The parameter kinds and whether there is a
// result follow from the C++ signature of the method behind `call`.
struct VELKLK_API MemberInfo {
  const char* name;
  std::int32_t dispid;            // 0x60030000 + position in the interface
  std::vector<ParamInfo> params;  // all passed by reference
  bool returnsBoolean;            // otherwise no result
  MemberCall call;
};

struct VELKLK_API InterfaceInfo {
  const char* name;  // "_CSync"
  Guid iid;
  std::vector<MemberInfo> members;
  // Dual, hidden, non-extensible, automation compatible, base IDispatch.
};

struct VELKLK_API ClassInfo {
  const char* name;    // "CSync"
  const char* progid;  // "velKLK.CSync"
  Guid clsid;
  const InterfaceInfo* defaultInterface;
  std::unique_ptr<AutomationObject> (*create)();  // a new instance
};

struct VELKLK_API TypeLibraryInfo {
  const char* name;  // "velKLK"
  Guid libid;
  std::uint32_t lcid;  // 0x409
  int majorVersion;
  int minorVersion;
  std::vector<const char*> imports;  // the host's libraries and the OLE library
  std::vector<InterfaceInfo> interfaces;
  std::vector<ClassInfo> classes;
};

VELKLK_API const TypeLibraryInfo& TypeLibrary();

// The dispatch identifier of the n-th member of an interface.
inline constexpr std::int32_t kFirstDispid = 0x60030000;

// An instance of a public class seen through its default interface.
class VELKLK_API DispatchObject {
 public:
  virtual ~DispatchObject() = default;
  virtual const ClassInfo& Class() const = 0;
  // The C++ object behind the interface (CSync, CMenue or CAppointment).
  virtual AutomationObject& Object() = 0;
  // Calls the member (see MemberCall); `args` are converted to its parameter
  // types, passed by reference and written back after the call.
  virtual Variant InvokeMember(const MemberInfo& member, std::vector<Variant>& args) = 0;
};

// Creates an instance by programmatic identifier ("velKLK.CSync"); names
// match without regard to case. Raises REGDB_E_CLASSNOTREG for an unknown
// identifier.
VELKLK_API std::unique_ptr<DispatchObject> CreateObject(const std::string& progid);

// The member of the object's interface by name (without regard to case) or by
// dispatch identifier; raises DISP_E_UNKNOWNNAME or DISP_E_MEMBERNOTFOUND.
VELKLK_API const MemberInfo& FindMember(const DispatchObject& object, const std::string& name);
VELKLK_API const MemberInfo& FindMember(const DispatchObject& object, std::int32_t dispid);

// Invokes a member. Wrong argument count raises DISP_E_BADPARAMCOUNT, an
// argument that cannot be converted DISP_E_TYPEMISMATCH; errors of the member
// itself pass through. The result is a Boolean or empty.
VELKLK_API Variant Invoke(DispatchObject& object, const std::string& name,
                          std::vector<Variant>& args);
VELKLK_API Variant Invoke(DispatchObject& object, std::int32_t dispid, std::vector<Variant>& args);

// Converts a command-line text to a parameter kind ("True"/"False",
// "yyyy-MM-dd[ hh:mm:ss]", any text); raises DISP_E_TYPEMISMATCH.
VELKLK_API Variant ArgumentFromText(ParamKind kind, const std::string& text);

// The arguments of a call from texts: a HostApplication parameter gets `app`,
// a HostDatabase parameter `db`, and the texts fill the other parameters in
// order. Raises DISP_E_BADPARAMCOUNT when the number of texts does not match,
// DISP_E_TYPEMISMATCH for a text that does not convert.
VELKLK_API std::vector<Variant> ArgumentsFromTexts(const MemberInfo& member,
                                                   const std::shared_ptr<AutomationObject>& app,
                                                   const std::shared_ptr<AutomationObject>& db,
                                                   const std::vector<std::string>& texts);

}  // namespace velklk
