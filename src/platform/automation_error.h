// The one error type of the automation world: a 32-bit number, a source and a
// description, as the host, Outlook and the add-in raise and report them.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <utility>

#include "platform/export.h"

namespace velklk {

// Error numbers the system raises or relies on.
namespace err {
inline constexpr std::uint32_t kNotImplemented = 0x80004001u;        // E_NOTIMPL
inline constexpr std::uint32_t kFail = 0x80004005u;                  // E_FAIL
inline constexpr std::uint32_t kInvalidArg = 0x80070057u;            // E_INVALIDARG
inline constexpr std::uint32_t kUnknownName = 0x80020006u;           // DISP_E_UNKNOWNNAME
inline constexpr std::uint32_t kTypeMismatch = 0x80020005u;          // DISP_E_TYPEMISMATCH
inline constexpr std::uint32_t kBadParamCount = 0x8002000Eu;         // DISP_E_BADPARAMCOUNT
inline constexpr std::uint32_t kMemberNotFound = 0x80020003u;        // DISP_E_MEMBERNOTFOUND
inline constexpr std::uint32_t kClassNotRegistered = 0x80040154u;    // REGDB_E_CLASSNOTREG
inline constexpr std::uint32_t kOperationUnavailable = 0x800401E3u;  // MK_E_UNAVAILABLE
inline constexpr std::uint32_t kOlNotFound = 0x8004010Fu;            // folder or item name unknown
inline constexpr std::uint32_t kOlNetwork = 0x80040115u;             // server not reachable
inline constexpr std::uint32_t kOlRefusedValue = 0x80041076u;        // property value refused
inline constexpr std::uint32_t kOlNoAccess = 0x80070005u;            // E_ACCESSDENIED: a read-only folder
inline constexpr std::uint32_t kObjectRequired = 424;       // run-time error "Object required"
inline constexpr std::uint32_t kObjectVariableNotSet = 91;  // run-time error 91
inline constexpr std::uint32_t kInvalidProcedureCall = 5;   // run-time error 5
inline constexpr std::uint32_t kTypeMismatchRt = 13;        // run-time error 13
inline constexpr std::uint32_t kSubscriptOutOfRange = 9;    // run-time error 9
inline constexpr std::uint32_t kPermissionDenied = 70;      // run-time error 70
}  // namespace err

class VELKLK_API AutomationError : public std::exception {
 public:
  AutomationError(std::uint32_t number, std::string source, std::string description)
      : number_(number), source_(std::move(source)), description_(std::move(description)) {}

  std::uint32_t Number() const noexcept { return number_; }
  const std::string& Source() const noexcept { return source_; }
  const std::string& Description() const noexcept { return description_; }

  // "0x8004010F" for HRESULT-like numbers, the decimal number for small
  // run-time error numbers (91, 424, ...).
  std::string NumberText() const;
  // The number in upper-case hexadecimal without prefix ("8004010F").
  std::string HexText() const;

  const char* what() const noexcept override { return description_.c_str(); }

 private:
  std::uint32_t number_;
  std::string source_;
  std::string description_;
};

// Formats an error number as NumberText() does.
VELKLK_API std::string FormatErrorNumber(std::uint32_t number);

[[noreturn]] VELKLK_API void RaiseNotImplemented(const std::string& source,
                                                 const std::string& what);

// "Errors ignored step by step": runs one step and swallows the automation
// error it raises. Returns true when the step completed without error.
template <typename Step>
bool IgnoreError(Step&& step) {
  try {
    std::forward<Step>(step)();
    return true;
  } catch (const AutomationError&) {
    return false;
  }
}

}  // namespace velklk
