// The desk of the dialog tests: Anna's mailbox with folders of every kind at
// several depths, Ben's mailbox, and host users whose shared calendars open
// (BEN), do not resolve (CARL) or cannot be opened (DORA: a mailbox without
// a calendar).
#pragma once

#include <string>

#include "support/desk.h"

namespace velklk::test {

// A patch of the desk's base fixture.
inline std::string DialogFixture() {
  return R"json({
  "host": {"users": [
    {"name": "ANNA", "properties": {"EMail": "anna@example.com"},
     "settings": {"PREXOLContactPath": "anna@example.com\\Kontakte",
                  "PREXOLCalPath": "anna@example.com\\Kalender;ben@example.com\\Kalender",
                  "PREXOLTaskPath": "anna@example.com\\Aufgaben"}},
    {"name": "BEN", "properties": {"EMail": "ben@example.com"}},
    {"name": "CARL", "properties": {"EMail": "carl@nowhere.example"}},
    {"name": "DORA", "properties": {"EMail": "dora@example.com"}}]},
  "outlook": {"stores": [
    {"name": "anna@example.com", "folders": [
      {"name": "Posteingang", "type": 0, "folders": [{"name": "Kunden", "type": 2}]},
      {"name": "Kontakte", "type": 2, "folders": [{"name": "Privat", "type": 2}]},
      {"name": "Kalender", "type": 1, "folders": [
        {"name": "Team", "type": 1}, {"name": "Notizen", "type": 0}]},
      {"name": "Aufgaben", "type": 3, "folders": [
        {"name": "Projekt", "type": 3, "folders": [{"name": "Archiv", "type": 3}]},
        {"name": "Ablage", "type": 0}]}]},
    {"name": "ben@example.com", "folders": [
      {"name": "Kalender", "type": 1}, {"name": "Urlaub", "type": 1}]},
    {"name": "dora@example.com", "folders": [{"name": "Kontakte", "type": 2}]}]}
})json";
}

}  // namespace velklk::test
