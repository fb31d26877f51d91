// Time zones of the calendar codecs: the profile's zone by its IANA name,
// and the Windows zone names some servers send in TZID, mapped to IANA
// names.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velklk::server {

// The IANA name of a profile's zone: `zone` when given; "" takes the TZ
// variable (":Europe/Berlin" and a path below zoneinfo/ read as the name),
// else /etc/timezone, else the target of the /etc/localtime link below
// zoneinfo/, else "UTC".
std::string ResolveZoneName(const std::string& zone);

// The IANA zone of a Windows zone name ("W. Europe Standard Time" gives
// "Europe/Berlin"); none for a name the table does not have.
std::optional<std::string> WindowsZone(std::string_view name);

}  // namespace velklk::server
