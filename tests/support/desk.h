// The test desk: one user's desk on the embedded platforms, for every suite
// that drives the add-in. A profile in memory is loaded from the base
// fixture plus the test's own JSON, the add-in's shared state is installed on
// it with a recording user interface (and emptied again when the desk goes),
// and the public classes are called through late binding, as the host calls
// them.
//
// The base fixture (tests/support/base.json): now "2026-12-06 10:00:00"; users ANNA (current, log
// level "debug") and BEN, each with the mailbox "<name>@example.com" (user property "EMail")
// holding "Kontakte", "Kalender" and "Aufgaben", and the folder settings pointing at them (ANNA's
// calendar setting names BEN's calendar too); the feature group "Kestrelink"; no records.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "addin/type_library.h"
#include "helpers.h"
#include "platform/automation_error.h"
#include "platform/host.h"
#include "platform/outlook.h"
#include "profile/profile.h"
#include "session/shared_state.h"
#include "ui/recording_ui.h"

namespace velklk::test {

// A patch with a few records: address "0000000001" (a company) with contact
// person "0000000002", process "0000000003" with activity "0000000004"
// (ANNA's, 2026-12-08 10:00), task "0000000005" (ANNA's).
extern const char* const kSampleRecords;

// What a call gave back: the result (empty for members without one), the
// by-reference arguments after the call, or the error that reached the host.
struct CallOutcome {
  Variant value;
  std::vector<Variant> args;
  std::optional<AutomationError> error;

  bool Failed() const { return error.has_value(); }
  // The Boolean result; false for an error or a member without result.
  bool True() const { return !error && value == Variant(true); }
};

class Desk {
 public:
  // The base fixture with the patches applied in order. A patch is a JSON
  // merge patch (objects merge, null removes a key, anything else replaces);
  // its top-level "folders" object merges into folders of the base by path
  // instead: {"folders": {"anna@example.com\\Kontakte": {"items": [...]}}}.
  explicit Desk(const std::string& patch = "{}");
  Desk(std::initializer_list<std::string> patches);
  ~Desk();
  Desk(const Desk&) = delete;
  Desk& operator=(const Desk&) = delete;

  Profile& profile() { return *profile_; }
  EmbeddedHost& host() { return profile_->Host(); }
  EmbeddedOutlook& outlook() { return profile_->Outlook(); }
  RecordingUserInterface& ui() { return *ui_; }
  SharedState& state() { return **state_; }

  // ---- Before a call, as the host window and the user set things up.
  void SetUser(const std::string& name) { host().SetCurrentUser(name); }
  void SetNow(const std::string& now);  // "yyyy-MM-dd hh:mm:ss"
  // Positions a table on a record as the host window shows it (the
  // command's --current TABLE=ID); makes a table the active one.
  void Position(const std::string& table, const std::string& id) {
    host().PositionTable(table, id);
  }
  void SetActive(const std::string& table) { host().SetActiveTable(table); }
  // Private settings of the current user.
  void SetSetting(const std::string& key, const std::string& value);
  void RemoveSetting(const std::string& key);
  // Answers for the next message boxes, in order.
  void Answer(std::initializer_list<MsgAnswer> answers);
  // Makes a host operation ("Adressen.SaveNew", "Settings.Exists", ...)
  // raise that error number. Outlook faults: outlook().SetOffline,
  // outlook().RefuseValue, outlook().SetRunning.
  void RaiseOn(const std::string& operation, std::uint32_t number) {
    host().RaiseOn(operation, number);
  }

  // ---- Calls, each in one unit of work as the command makes it.
  std::unique_ptr<DispatchObject> Create(const std::string& progid) { return CreateObject(progid); }
  // A HostApplication parameter gets the host's application, a HostDatabase
  // parameter its database, the texts fill the rest.
  CallOutcome Call(DispatchObject& object, const std::string& member,
                   const std::vector<std::string>& args = {});
  // Creates the object, calls the member, destroys the object.
  CallOutcome Call(const std::string& progid, const std::string& member,
                   const std::vector<std::string>& args = {});
  // Shortcuts for the contact commands: CSync's result, and CMenue on the
  // record positioned first (none positioned for an empty ID).
  bool AddressOrContactSync2OL(const std::string& id, const std::string& table) {
    return Call("velKLK.CSync", "AddressOrContactSync2OL", {id, table}).True();
  }
  bool SyncContacts2VEL() { return Call("velKLK.CSync", "SyncContacts2VEL").True(); }
  void UpdateAdresse(const std::string& id);
  void UpdateAnsprechpartner(const std::string& id);

  // ---- What the user saw.
  std::vector<MessageBoxRequest> Boxes() const { return ui_->MessageBoxes(); }
  std::vector<std::string> BoxTexts() const;
  // Golden dump of the message boxes: "title | icon | buttons | default |
  // text" each, CR and LF in the text written as \r and \n.
  std::vector<std::string> BoxLines() const;
  // The diagnostic log (UTF-8), one entry per line without the time stamp.
  std::vector<std::string> LogLines() const;

  // ---- Outlook. A folder is "Kontakte", "Kalender" or "Aufgaben" of the
  // current user, or a path ("ben@example.com\\Kalender").
  std::shared_ptr<OlFolder> Folder(const std::string& folder = "Kontakte");
  std::vector<std::shared_ptr<OlItem>> Items(const std::string& folder = "Kontakte");
  std::shared_ptr<OlItem> Find(const std::string& filter, const std::string& folder = "Kontakte");
  // The contact with that velSearch key in the user's (default: current)
  // contact folder.
  std::shared_ptr<OlItem> ContactOf(const std::string& key, const std::string& user = {});
  // A user property's value as text, "<none>" when the item lacks it.
  static std::string UserProp(OlItem& item, const std::string& name);
  // The user edits and saves an item (a JSON object of properties as a
  // fixture item writes them): fires the item's change event.
  void Edit(OlItem& item, const std::string& json);
  // Golden dump of an item: "Property: value" for every property that is
  // set (not empty, zero, false or the unset date), then "user.<name>:
  // value" and "link: <entry ID>", in name order.
  std::vector<std::string> ItemLines(const OlItem& item) const;

  // ---- Host.
  // A field of a record (seeks it, so its table and masters move there);
  // "@master" gives the master record's ID; "<missing>" for no record.
  std::string Field(const std::string& table, const std::string& id, const std::string& field);
  // Golden dump of a record: "Field: value" for every field that is set.
  std::vector<std::string> RecordLines(const std::string& table, const std::string& id) const;
  int Count(const std::string& table) const;
  // Edits a record as a user in the host window would (stamps
  // ModifiziertAm with now); a JSON object of text values.
  void EditRecord(const std::string& table, const std::string& id, const std::string& json);
  // The users in the favourite marks of an address or contact person.
  std::vector<std::string> Marks(const std::string& table, const std::string& id);
  // Sync log entries of a user (all users when empty) and of one key.
  int SyncLogCount(const std::string& user = {}) const;
  bool SyncLogHas(const std::string& key, const std::string& user = {});

 private:
  std::string Mailbox(const std::string& user) const;
  std::unique_ptr<Profile> profile_;
  std::unique_ptr<RecordingUserInterface> ui_;
  std::optional<StateGuard> state_;
};

}  // namespace velklk::test
