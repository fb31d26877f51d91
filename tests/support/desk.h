// A test desk: a profile in memory built from an inline JSON fixture, the
// add-in's shared state installed on it with a recording user interface, and
// calls of the public classes through late binding, as the host makes them.
#pragma once

#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "addin/type_library.h"
#include "platform/automation_error.h"
#include "profile/profile.h"
#include "session/shared_state.h"
#include "ui/recording_ui.h"

namespace velklk::test {

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

// One user "ANNA" (mailbox "anna@example.com" with the folders "Kontakte",
// "Kalender" and "Aufgaben", the folder settings pointing at them, log level
// "debug"), a second user "BEN" with his own mailbox, one address
// "0000000001" with a contact person "0000000002", one activity and one task.
std::string StandardFixture();
// The standard fixture with a JSON merge patch applied (objects merge, a
// null removes a key, anything else replaces).
std::string StandardFixture(const std::string& mergePatch);

class Desk {
 public:
  explicit Desk(const std::string& fixtureJson = StandardFixture(),
                const std::string& language = "de");
  ~Desk();

  Profile& profile() { return *profile_; }
  EmbeddedHost& host() { return profile_->Host(); }
  EmbeddedOutlook& outlook() { return profile_->Outlook(); }
  RecordingUserInterface& ui() { return ui_; }
  SharedState& state() { return State(); }

  // Answers for the next message boxes, in order.
  void Answer(std::initializer_list<MsgAnswer> answers);

  std::unique_ptr<DispatchObject> Create(const std::string& progid);
  // Calls a member; a HostApplication parameter gets the host's application,
  // a HostDatabase parameter its database, the texts fill the rest.
  CallOutcome Call(DispatchObject& object, const std::string& member,
                   const std::vector<std::string>& args = {});
  // Creates the object, calls the member, destroys the object.
  CallOutcome Call(const std::string& progid, const std::string& member,
                   const std::vector<std::string>& args = {});

  std::vector<MessageBoxRequest> Boxes() const { return ui_.MessageBoxes(); }
  // The text of every message box, in order.
  std::vector<std::string> BoxTexts() const;

  // The current user's private settings.
  void SetSetting(const std::string& key, const std::string& value);
  void RemoveSetting(const std::string& key);

  // The diagnostic log (UTF-8), one entry per line without the time stamp.
  std::vector<std::string> LogLines() const;

 private:
  std::unique_ptr<Profile> profile_;
  RecordingUserInterface ui_;
};

}  // namespace velklk::test
