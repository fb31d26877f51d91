// The fixtures the appointment tests share (patches of the desk's base
// fixture): the sample records with ANNA's activity 4, and the same with a participant's copy.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "support/desk.h"

namespace velklk::test {

// Activity 4 of ANNA: from 10:00 for an hour, a reminder of 2.5 minutes,
// for the contact person Eva Berg.
inline std::string Fixture(const std::string& more = "{}") {
  nlohmann::json doc = nlohmann::json::parse(kSampleRecords);
  doc.merge_patch(nlohmann::json::parse(R"({"host": {"tables": {
      "Aktivitaeten": [ {"ID": "0000000004", "@master": "0000000003", "Betreff": "Termin",
        "Datum": "2026-12-08 10:00:00", "Dauer": 0.041666666666666664,
        "Voralarm": 0.001736111111111111, "Empfaenger": "Eva Berg", "Verantwortlich": "ANNA",
        "ModifiziertAm": "2026-12-06 09:00:00"} ] }}})"));
  doc.merge_patch(nlohmann::json::parse(more));
  return doc.dump();
}

// A participant record "0000000007" of ANNA for activity 4, and an unrelated
// activity of BEN with the same ID under another address.
inline const char* const kParticipants = R"({"host": {"tables": {
      "Adressen": [ {"ID": "0000000001", "Name": "Muster GmbH"}, {"ID": "0000000008", "Name": "Fremd"} ],
      "Vorgaenge": [ {"ID": "0000000003", "@master": "0000000001"}, {"ID": "0000000009", "@master": "0000000008"} ],
      "Aktivitaeten": [ {"ID": "0000000004", "@master": "0000000003", "Betreff": "Termin",
          "Datum": "2026-12-08 10:00:00", "Verantwortlich": "ANNA"},
        {"ID": "0000000007", "@master": "0000000009", "Betreff": "Fremd",
          "Datum": "2026-12-09 10:00:00", "Verantwortlich": "BEN", "ModifiziertAm": "2026-12-01 09:00:00"} ],
      "calA_Teilnehmer": [ {"ID": "0000000007", "MasterTable": "Aktivitaeten",
          "MasterID": "0000000004", "User": "ANNA"} ] }}})";

}  // namespace velklk::test
