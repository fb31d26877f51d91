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

}  // namespace velklk::contacts
