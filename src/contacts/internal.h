// Pieces the contact procedures share across their files.
#pragma once

#include <string>

#include "platform/automation_error.h"

namespace velklk::contacts {

// The three answers of the link test: an error while testing is not taken
// as proof that the link is stale.
enum class LinkState { Valid, Stale, Unknown };
LinkState CheckContactLink(const std::string& key);

// Positions mTblAdressen on the address of the current contact person, where
// the host names one.
void PositionAddressOfPerson();

// The "[FileAs] = ..." filter of a company contact.
std::string FileAsFilter(const std::string& companyName);

// Log lines of a procedure.
void LogEntry(const char* component, const char* subroutine, const std::string& info,
              const std::string& input);
void LogLeave(const char* component, const char* subroutine, const std::string& output);
void LogErr(const char* component, const char* subroutine, const AutomationError& error);

}  // namespace velklk::contacts
