// A user's desk for the contact tests: an in-memory profile (embedded host
// and Outlook) loaded from a small base fixture plus the test's own JSON, a
// recording user interface, and the public classes called as the host calls
// them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/host.h"
#include "platform/outlook.h"
#include "platform/user_interface.h"

namespace velklk {

class Profile;
class RecordingUserInterface;

namespace test {

class Desk {
 public:
  // `patch` is a JSON merge patch onto the base fixture: users ANNA (current)
  // and BEN, each with "<user>@velmora.example" holding "Kontakte",
  // "Kalender" and "Aufgaben"; now "2026-12-06 10:00:00"; empty tables.
  explicit Desk(const std::string& patch = "{}");
  ~Desk();

  Profile& Prof() { return *profile_; }
  RecordingUserInterface& Ui() { return *ui_; }

  void SetUser(const std::string& name);
  void SetNow(const std::string& now);
  void Answer(MsgAnswer answer);
  // Makes a host operation ("Adressen.SaveNew") fail with that number.
  void RaiseOn(const std::string& operation, std::uint32_t number);
  // Positions a host table as the host window shows it.
  void Position(const std::string& table, const std::string& id);

  // The commands.
  bool AddressOrContactSync2OL(const std::string& id, const std::string& table);
  void UpdateAdresse(const std::string& addressId);
  void UpdateAnsprechpartner(const std::string& personId);
  bool SyncContacts2VEL();
  // CSync.AppSync2OL for an activity of "Aktivitaeten".
  bool AppSync2OL(const std::string& activityId);
  bool ClearContactsVelSearch();

  // Outlook side of the current user ("<user>@velmora.example\Kontakte").
  std::shared_ptr<OlItems> Items(const std::string& user = {});
  std::shared_ptr<OlItem> Find(const std::string& filter, const std::string& user = {});
  std::shared_ptr<OlItem> ContactOf(const std::string& key, const std::string& user = {});
  std::vector<std::shared_ptr<OlItem>> AllContacts(const std::string& user = {});
  std::string Get(const OlItem& item, const std::string& property);
  std::string UserProp(OlItem& item, const std::string& name);
  // The user edits and saves a contact (JSON object of properties, user
  // properties under "userProperties").
  void Edit(OlItem& item, const std::string& json);
  // The user enters a new contact (a fixture item).
  std::shared_ptr<OlItem> Enter(const std::string& json, const std::string& user = {});

  // Host side.
  std::shared_ptr<HostTable> Table(const std::string& name);
  bool Exists(const std::string& table, const std::string& id);
  std::string Field(const std::string& table, const std::string& id, const std::string& field);
  // Every record of a table as "ID" -> its fields, from the host dump.
  std::string Dump(const std::string& table);
  int Count(const std::string& table);
  // Edits a host record as a user in the host window would (stamps
  // ModifiziertAm with now).
  void EditRecord(const std::string& table, const std::string& id, const std::string& json);
  // The favourite marks ("Wert") of a record.
  std::vector<std::string> Marks(const std::string& table, const std::string& id);
  int SyncLogCount(const std::string& user = {});
  bool SyncLogHas(const std::string& key, const std::string& user = {});

  // Message box texts so far, and the boxes themselves.
  std::vector<std::string> Messages() const;
  std::vector<MessageBoxRequest> Boxes() const;
  void ClearEvents();

 private:
  std::string Store(const std::string& user) const;
  std::unique_ptr<Profile> profile_;
  std::unique_ptr<RecordingUserInterface> ui_;
  std::string user_ = "ANNA";
};

}  // namespace test
}  // namespace velklk
