// Outlook appointments and tasks as iCalendar objects (RFC 5545): the
// codecs of the calendar and tasks folders of a bound store, read with
// libical. docs/server.md ("Appointments as VEVENT", "Tasks as VTODO") has
// the tables.
//
// Times: the profile keeps local times of its zone; they are written with
// TZID=<IANA name> and that zone's VTIMEZONE. Received times in UTC, in
// another zone (by its VTIMEZONE, a built-in IANA zone or a Windows zone
// name) are converted to the profile's zone; floating times are read as
// its local times.
//
// What the mapping does not know (attendees, attachments, other clients'
// X- properties, other components, VTIMEZONEs of other zones, the
// recurrence of a series and its exceptions) is kept in ItemData::serverKept
// and written back unchanged. So is the text of a mapped property whose
// received form the Outlook values do not give back exactly: while those
// values stay as received, the property goes back as received.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include "server/sync_engine.h"

namespace velklk::server {

// A calendar object that cannot be read or written; the message says why.
class ICalError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The codecs of events (VEVENT, kind "calendar") and of tasks (VTODO, kind
// "tasks") for a profile keeping local times in `zone` ("" for TZ, else the
// system's). Raise ICalError for a zone the system does not know.
std::unique_ptr<ItemKindCodec> MakeEventCodec(const std::string& zone);
std::unique_ptr<ItemKindCodec> MakeTaskCodec(const std::string& zone);

}  // namespace velklk::server
