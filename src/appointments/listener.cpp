// The calendar listener: after a new appointment was prepared for an address
// or contact person, the next appointment added to the calendar becomes a
// host activity under the pending process record; after an existing
// appointment was opened, its changes go back into its activity.
#include "appointments/appointments.h"
#include "appointments/internal.h"
#include "contacts/contacts.h"
#include "diagnostics/text_helpers.h"
#include "platform/host.h"
#include "platform/outlook.h"
#include "platform/text_case.h"
#include "resources/catalogue.h"
#include "session/access.h"
#include "session/helpers.h"
#include "session/link_properties.h"
#include "session/shared_state.h"
#include "session/startup.h"

namespace velklk::appointments {
namespace {

// "Dauer" of an activity: all-day appointments last 0.9999 days.
double DauerOf(const OlItem& item) {
  if (item.Get("AllDayEvent").ToBool()) return kAllDayDauer;
  return DateProperty(item, "End").Value() - DateProperty(item, "Start").Value();
}

// "VorAlarm" and "Erledigt" from the reminder: a set reminder gives its lead
// and an open activity, none gives no lead and a done one.
void WriteReminder(HostTable& activity, const OlItem& item) {
  const bool reminder = item.Get("ReminderSet").ToBool();
  const double lead =
      reminder ? static_cast<double>(item.Get("ReminderMinutesBeforeStart").ToLong()) / 1440.0
               : 0.0;
  SetField(activity, "VorAlarm", Variant(lead));
  SetField(activity, "Erledigt", Variant(!reminder));
}

// The "NamePerson()" of the contact person behind the pending contact, empty
// for an address or no contact.
std::string PendingContactPerson(const std::shared_ptr<OlItem>& contact) {
  if (!contact || contact->IsDeleted()) return {};
  HostTable& persons = Ansprechpartner();
  if (!SameIdentifier(UserProp(*contact, "velTable"), persons.Name())) return {};
  persons.SelectIndex("ID");
  if (!persons.Seek(UserProp(*contact, "velID"))) return {};
  return EvaluateText(persons, "NamePerson()");
}

// The items hold their listeners weakly: a listener that is replaced or
// released hears no more events.
class CAppointment2 final : public OlItemsListener,
                            public std::enable_shared_from_this<CAppointment2> {
 public:
  void init(const std::shared_ptr<OlFolder>& calendar, const std::shared_ptr<OlItem>& contact) {
    mOlitems_ = Held(Need(calendar, kListenerModule).Items(), kListenerModule);
    mOlitems_->Advise(shared_from_this());
    pendingContact_ = contact;
    busy_ = false;
  }

  void ItemAdd(const std::shared_ptr<OlItem>& item) override {
    // An error stays inside the handler: it is reported, and Outlook and the
    // host go on.
    try {
      Added(Need(item, kListenerModule));
    } catch (const AutomationError& e) {
      IgnoreError([&] { ReportError(kListenerModule, ".mOlitems_ItemAdd", e); });
    }
  }

  void ItemChange(const std::shared_ptr<OlItem>& item) override {
    try {
      Changed(Need(item, kListenerModule));
    } catch (const AutomationError& e) {
      IgnoreError([&] { ReportError(kListenerModule, ".mOlitems_ItemChange", e); });
    }
  }

 private:
  void Added(OlItem& item) {
    SharedState& s = State();
    if (!s.ListenerArmed || item.Class() != olclass::kAppointment) return;
    // An appointment that arrives linked was written by the add-in itself
    // (an activity exported meanwhile), not entered by the user.
    if (!UserProp(item, "velSearch").empty()) return;
    // The name is read before the process record is made current, which
    // moves the contact-person table to that address's first person.
    const std::string person = PendingContactPerson(pendingContact_);
    HostTable& activity = Need(s.mTblAktivitaeten, kListenerModule);
    auto process = Db().Table(s.PendingProcessTable);
    Need(s.mAPP, kListenerModule).SetActiveTable(process);
    s.ListenerArmed = false;
    if (!Need(process, kListenerModule).GoToReference(s.PendingProcessRef)) return;

    // The link properties come first: an Outlook that cannot take them
    // (offline) leaves no activity behind without its appointment.
    if (!ConfigAppointmentItem(item)) return;
    const std::string subject = item.Get("Subject").ToText();
    const bool added = AddRecord(activity, [&] {
      SetField(activity, "Typ", Variant(s.PendingAppointmentType));
      SetField(activity, "Betreff", Variant(BetreffOrPlaceholder(subject, "??")));
      SetField(activity, "Memo", item.Get("Body"));
      SetField(activity, "Datum", Variant(DateProperty(item, "Start")));
      SetField(activity, "DatumBis", Variant(DateProperty(item, "End")));
      SetField(activity, "Dauer", Variant(DauerOf(item)));
      WriteReminder(activity, item);
      SetField(activity, "Empfaenger", Variant(person));
    });
    if (!added) return;
    const std::string id = FieldText(activity, "ID");
    const std::string key = id + activity.Name();
    SetUserProp(item, "velTable", activity.Name());
    SetUserProp(item, "velID", id);
    SetUserProp(item, "velSearch", key);
    if (!s.bExportNoAddressLink && pendingContact_) {
      if (OutlookLinksContacts()) item.Links()->Add(pendingContact_);
      pendingContact_.reset();
    }
    item.Set("Subject", Variant(EvaluateText(activity, s.sAktivitaetenBetreff) + "|" +
                                FieldText(activity, "Betreff")));
    // The listener's own save must not come back as the user's change.
    busy_ = true;
    item.Save();
    Ui().DoEvents();
    CreateSyncLog(key);
    if (auto explorer = Need(s.mOlApp, kListenerModule).ActiveExplorer()) explorer->Close();
    if (ToBoolean(Variant(ReadPrivateSetting(setting::kInfoTerminAnlage, "False")))) {
      ShowMessage(Msg(3851), kMsgTitle, MsgButtons::Ok, MsgIcon::None);
    }
  }

  void Changed(OlItem& item) {
    if (busy_ || item.Class() != olclass::kAppointment) return;
    if (!HasUserProp(item, "velID")) return;
    SharedState& s = State();
    HostTable& activity = Need(s.mTblAktivitaeten, kListenerModule);
    // Only an appointment of this activity table is written back: the ID of
    // a participant record or of another table's record may name an
    // unrelated activity.
    const std::string table = UserProp(item, "velTable");
    if (table == kParticipants || !SameIdentifier(table, activity.Name())) return;
    const std::string previous = activity.SelectIndex("ID");
    activity.SetLookupOption1(true, kHostOptionOn);
    activity.SetLookupOption2(true, kHostOptionOn);
    if (activity.Seek(UserProp(item, "velID"))) {
      EditRecord(activity, [&] {
        if (auto betreff = BetreffOfSubject(item.Get("Subject").ToText()))
          SetField(activity, "Betreff", Variant(*betreff));
        SetField(activity, "Memo", item.Get("Body"));
        SetField(activity, "Datum", Variant(DateProperty(item, "Start")));
        SetField(activity, "DatumBis", Variant(DateProperty(item, "End")));
        SetField(activity, "Dauer", Variant(DauerOf(item)));
        WriteReminder(activity, item);
      });
    }
    activity.SelectIndex(previous);
  }

  std::shared_ptr<OlItems> mOlitems_;
  std::shared_ptr<OlItem> pendingContact_;
  bool busy_ = false;
};

}  // namespace

std::shared_ptr<OlItemsListener> NewCalendarListener(
    const std::shared_ptr<OlFolder>& calendar, const std::shared_ptr<OlItem>& pendingContact) {
  auto listener = std::make_shared<CAppointment2>();
  listener->init(calendar, pendingContact);
  return listener;
}

}  // namespace velklk::appointments
