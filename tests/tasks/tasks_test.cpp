// Task synchronisation through the public classes on the embedded host and
// Outlook: export, import, reconciliation and the values that cannot cross.
#include <gtest/gtest.h>

#include <tuple>

#include "support/desk.h"

namespace velklk::test {
namespace {

// Tasks 11..17 have the statuses 0..5 and 7, 18 is BEN's, 19 a group task of
// "Vertrieb" (ANNA is a member), 20 is at 100 percent but in progress.
std::string Tasks(const std::string& extraTasks = "") {
  return R"({"host": {"users": [
    {"name": "ANNA", "groups": ["Vertrieb"], "settings": {"PREXOLContactPath": "anna@example.com\\Kontakte",
     "PREXOLCalPath": "anna@example.com\\Kalender", "PREXOLTaskPath": "anna@example.com\\Aufgaben"}},
    {"name": "BEN"}], "tables": {"WRTM_Tasks": [
    {"ID": "0000000011", "Responsible": "ANNA", "CreatedBy": "ANNA", "Status": 0, "Duration": 1.5, "StartDate": "2026-12-07 00:00:00", "EndDate": "2026-12-11 00:00:00",
     "RemindTime": "2026-12-10 09:00:00", "Remind": true, "Importance": 2},
    {"ID": "0000000012", "Responsible": "ANNA", "Status": 1, "Duration": 2.75},
    {"ID": "0000000013", "Responsible": "ANNA", "Status": 2, "Duration": 0.999, "DoneInPercent": 30},
    {"ID": "0000000014", "Responsible": "ANNA", "Status": 3, "Duration": -1.5},
    {"ID": "0000000015", "Responsible": "ANNA", "Status": 4},
    {"ID": "0000000016", "Responsible": "ANNA", "Status": 5, "DoneInPercent": 40},
    {"ID": "0000000017", "Responsible": "ANNA", "Status": 7, "EndDate": "1850-01-01 00:00:00"},
    {"ID": "0000000018", "Responsible": "BEN", "CreatedBy": "BEN", "Subject": "Ben"},
    {"ID": "0000000019", "ResponsibleGroup": "Vertrieb", "CreatedBy": "ANNA", "Subject": "Gruppe"},
    {"ID": "0000000020", "Responsible": "ANNA", "Status": 2, "DoneInPercent": 100})" +
         extraTasks + "]}}}";
}

// These items in ANNA's tasks folder.
std::string OutlookTasks(const std::string& items) {
  return R"({"folders": {"anna@example.com\\Aufgaben": {"items": [)" + items + "]}}}";
}

std::string Linked(const std::string& id) {
  return R"("userProperties": {"velTable": "WRTM_Tasks", "velID": ")" + id +
         R"(", "velSearch": ")" + id + R"(WRTM_Tasks", "velStatus1": false})";
}

template <typename Read>
std::string Join(std::initializer_list<const char*> names, Read read) {
  std::string out;
  for (const char* name : names) out += (out.empty() ? "" : "|") + read(name);
  return out;
}

struct TaskDesk : Desk {
  explicit TaskDesk(const std::string& outlook = "{}", const std::string& extraTasks = "",
                    const std::string& more = "{}")
      : Desk({kSampleRecords, Tasks(extraTasks), outlook, more}) {}
  std::shared_ptr<OlItem> OlTask(const std::string& id) {
    return Find("[velSearch] = \"" + id + "WRTM_Tasks\"", "Aufgaben");
  }
  // Values joined by "|"; a user property is named with a leading "@".
  std::string Ol(const std::string& id, std::initializer_list<const char*> properties) {
    auto task = OlTask(id);
    return Join(properties, [&](const char* p) {
      if (!task) return std::string("<missing>");
      return *p == '@' ? UserProp(*task, p + 1) : task->Get(p).ToText();
    });
  }
  std::string Host(const std::string& id, std::initializer_list<const char*> fields) {
    return Join(fields, [&](const char* f) { return Field("WRTM_Tasks", id, f); });
  }
  void EditOl(const std::string& id, const std::string& json) { Edit(*OlTask(id), json); }
  long Shown(const std::string& text) {
    long n = 0;
    for (const auto& t : BoxTexts()) n += t.find(text) != std::string::npos;
    return n;
  }
  std::string IdOf(const char* subject) {
    return UserProp(*Find("[Subject] = \"" + std::string(subject) + "\"", "Aufgaben"), "velID");
  }
  bool Sync(const std::string& id) {
    return Call("velKLK.CSync", "TaskSync2OL", {id, "WRTM_Tasks", "False"}).True();
  }
  bool Import(const char* group = "False") {
    return Call("velKLK.CSync", "SyncTasks2VEL", {group}).True();
  }
  // The subjects of the host tasks imported from Outlook (only they are unread).
  std::vector<std::string> Subjects() {
    std::vector<std::string> out;
    auto t = host().Database()->Table("WRTM_Tasks");
    for (bool more = t->MoveFirst(); more; more = t->Move(1))
      if (t->Field("UnRead")->Value().ToBool())
        out.push_back(t->Field("Subject")->Value().ToText());
    return out;
  }
};

TEST(TaskExport, StatusEffortAndDatesReachOutlookAndComeBackWithoutLoss) {
  TaskDesk desk;
  // Status, velStatus1, percent and total work in Outlook.
  const std::vector<std::pair<const char*, const char*>> rows = {
      {"0000000011", "0|False|0|90"},  {"0000000012", "0|True|0|165"},
      {"0000000013", "1|False|30|59"}, {"0000000014", "3|False|0|-90"},
      {"0000000015", "4|False|0|0"},   {"0000000016", "2|False|100|0"},
      {"0000000017", "0|False|0|0"},   {"0000000020", "2|False|100|0"}};
  for (const auto& [id, outlook] : rows) {
    ASSERT_TRUE(desk.Sync(id));
    EXPECT_EQ(desk.Ol(id, {"Status", "@velStatus1", "PercentComplete", "TotalWork"}), outlook);
  }
  EXPECT_EQ(desk.Ol("0000000011", {"StartDate", "ReminderTime", "ReminderSet", "Importance"}),
            "2026-12-07 00:00:00|2026-12-10 09:00:00|True|2");
  EXPECT_EQ(desk.Ol("0000000012", {"DueDate", "ReminderTime"}),
            "4501-01-01 00:00:00|4501-01-01 00:00:00");
  EXPECT_EQ(desk.Ol("0000000017", {"DueDate"}), "4501-01-01 00:00:00");
  EXPECT_EQ(desk.BoxTexts().size(), 2u);
  EXPECT_EQ(desk.Shown("'0000000017'  enthält einen ungültigen Wert im Feld 'EndDate'"), 1);
  EXPECT_EQ(desk.Shown("'0000000017'  enthält einen ungültigen Wert im Feld 'Status'"), 1);
  // Later changes in Outlook come back; what the export wrote in place of a
  // host value that Outlook cannot hold (status 7, 0.999 hours, a date
  // before 1900) is not taken for a change, every other value is.
  desk.SetNow("2026-12-06 11:00:00");
  desk.EditOl("0000000011",
              R"({"DueDate": "4501-01-01 00:00:00", "ReminderTime": "2026-12-10 08:00:00",
      "ReminderSet": false, "Importance": 0, "userProperties": {"velStatus1": true}})");
  const std::vector<std::pair<const char*, int>> changes = {
      {"0000000012", 1}, {"0000000013", 3}, {"0000000014", 4}, {"0000000015", 9}};
  for (const auto& [id, status] : changes)
    desk.EditOl(id, "{\"Status\": " + std::to_string(status) + "}");
  for (const char* id : {"0000000017", "0000000020"}) desk.EditOl(id, R"({"Subject": "Neu"})");
  desk.SetNow("2026-12-06 11:05:00");
  for (const char* id : {"0000000011", "0000000017", "0000000020"}) ASSERT_TRUE(desk.Sync(id));
  for (const auto& change : changes) ASSERT_TRUE(desk.Sync(change.first));
  EXPECT_EQ(desk.Host("0000000011", {"Status", "EndDate", "RemindTime", "Remind", "Importance"}),
            "1|1899-12-30 00:00:00|2026-12-10 08:00:00|False|0");
  EXPECT_EQ(desk.Host("0000000012", {"Status"}), "2");
  EXPECT_EQ(desk.Host("0000000013", {"Status", "Duration", "Version"}), "3|0.999|1");
  EXPECT_EQ(desk.Host("0000000014", {"Status", "Duration"}), "4|-1.5");
  EXPECT_EQ(desk.Host("0000000015", {"Status"}), "0");
  EXPECT_EQ(desk.Host("0000000017", {"Subject", "Status", "EndDate"}), "Neu|7|1850-01-01 00:00:00");
  // Status 2 at 100 percent went out completed: taken back as done, by ANNA.
  EXPECT_EQ(desk.Host("0000000020", {"Status", "DoneBy", "DoneInPercent"}), "5|ANNA|100");
  desk.SetNow("2026-12-06 11:10:00");
  desk.EditOl("0000000017", R"({"Status": 2})");
  ASSERT_TRUE(desk.Sync("0000000017"));
  EXPECT_EQ(desk.Host("0000000017", {"Status", "DoneBy", "DoneInPercent"}), "5|ANNA|100");
}

TEST(TaskReconcile, TheNewerSideWinsAfterTheDayTestWithinFiveSeconds) {
  // Host time, Outlook time, the subject both sides hold afterwards ("": their own).
  for (const auto& [host, outlook, subject] :
       std::vector<std::tuple<std::string, std::string, std::string>>{
           {"2026-12-06 10:00:05", "2026-12-06 10:00:00", ""},
           {"2026-12-06 09:59:55", "2026-12-06 10:00:00", ""},
           {"2026-12-06 10:00:06", "2026-12-06 10:00:00", "Velmora"},
           {"2026-12-06 09:59:54", "2026-12-06 10:00:00", "Outlook"},
           {"2026-12-07 00:00:02", "2026-12-06 23:59:58", "Velmora"},
           {"2026-12-06 23:59:58", "2026-12-07 00:00:02", "Outlook"}}) {
    TaskDesk desk(
        OutlookTasks(R"({"class": "task", "Subject": "Outlook", )" + Linked("0000000030") +
                     R"(, "LastModificationTime": ")" + outlook + "\"}"),
        R"(, {"ID": "0000000030", "Subject": "Velmora", "ModifiziertAm": ")" + host + "\"}");
    ASSERT_TRUE(desk.Sync("0000000030"));
    EXPECT_EQ(
        desk.Host("0000000030", {"Subject", "Version"}) + "|" + desk.Ol("0000000030", {"Subject"}),
        subject.empty() ? "Velmora|0|Outlook"
                        : subject + (subject == "Outlook" ? "|1|" : "|0|") + subject)
        << host << " / " << outlook;
  }
}

TEST(TaskExport, ResponsibilityStatusAndTheDeletionRulesAfterAnOutlookDeletion) {
  TaskDesk desk(
      "{}", R"(, {"ID": "0000000024", "Responsible": "ANNA", "CreatedBy": "ANNA", "Status": -1})");
  const auto create = [&](const char* id) {
    return desk.Call("velKLK.CSync", "CreateOutlookTask", {id}).True();
  };
  EXPECT_FALSE(create("0000000018"));  // BEN's: no task, no message
  EXPECT_TRUE(desk.BoxTexts().empty());
  EXPECT_TRUE(create("0000000019"));  // by the group
  EXPECT_EQ(desk.Ol("0000000019", {"@velGroupName"}), "Vertrieb");
  // Done (5) and above is refused; a negative status goes out as "not
  // started" with the invalid-value message.
  EXPECT_FALSE(create("0000000016") || create("0000000017"));
  EXPECT_EQ(desk.Shown("Es werden nur Aufgaben übertragen, die noch nicht erledigt sind!"), 2);
  EXPECT_EQ(desk.Ol("0000000017", {"Subject"}), "<missing>");
  EXPECT_TRUE(create("0000000024"));
  EXPECT_EQ(desk.Shown("'0000000024'  enthält einen ungültigen Wert im Feld 'Status'"), 1);
  EXPECT_EQ(desk.Ol("0000000024", {"Status"}), "0");
  // Already in Outlook: the newer side wins, an edit in Outlook is taken.
  desk.SetNow("2026-12-06 11:00:00");
  desk.EditOl("0000000024", R"({"Subject": "Aus Outlook"})");
  EXPECT_TRUE(create("0000000024"));
  EXPECT_EQ(desk.Host("0000000024", {"Subject", "Status"}) + desk.Ol("0000000024", {"Subject"}),
            "Aus Outlook|-1Aus Outlook");
  for (const char* id : {"0000000011", "0000000018", "0000000019"}) {
    ASSERT_TRUE(desk.Sync(id));
    desk.OlTask(id)->Delete();
  }
  // Exported again by the user: created, and reported as done.
  EXPECT_TRUE(create("0000000011"));
  desk.OlTask("0000000011")->Delete();
  ASSERT_TRUE(desk.Sync("0000000011"));  // the setting is off: nothing happens
  EXPECT_EQ(desk.Ol("0000000011", {"Subject"}) + desk.Host("0000000011", {"CreatedBy"}),
            "<missing>ANNA");
  desk.SetSetting("TBKLK_DeleteTasks", "True");
  // A host that refuses the deletion: said, and the task stays.
  desk.OlTask("0000000024")->Delete();
  desk.host().RefuseRecord("WRTM_Tasks", "0000000024", "delete");
  EXPECT_FALSE(desk.Sync("0000000024"));
  EXPECT_EQ(desk.Shown("'0000000024'  wurde in Outlook gelöscht, darf in Velmora aber nicht"), 1);
  EXPECT_EQ(desk.Host("0000000024", {"Subject"}), "Aus Outlook");
  ASSERT_TRUE(desk.Sync("0000000011"));
  EXPECT_EQ(desk.Host("0000000011", {"ID"}), "<missing>");
  EXPECT_FALSE(desk.SyncLogHas("0000000011"));
  ASSERT_TRUE(desk.Sync("0000000018"));  // BEN created it: back in Outlook
  EXPECT_EQ(desk.Ol("0000000018", {"Subject"}), "Ben");
  // A group task stays in the host even when the caller calls it personal.
  ASSERT_TRUE(desk.Sync("0000000019"));
  EXPECT_EQ(desk.Host("0000000019", {"Subject"}) + desk.Ol("0000000019", {"Subject"}),
            "Gruppe<missing>");
}

TEST(TaskImport, SettingsAndFiltersChooseTheTasksEnteredInOutlook) {
  TaskDesk desk(OutlookTasks(
      R"({"class": "task", "Subject": "Neu", "TotalWork": 90, "PercentComplete": 20, "DueDate": "2026-12-20 00:00:00",
          "userProperties": {"velStatus1": true}},
         {"class": "task", "Subject": "Privat", "Sensitivity": 2},
         {"class": "task", "Subject": "Serie", "IsRecurring": true})"));
  EXPECT_TRUE(desk.Import() && desk.Subjects().empty());  // TBKLK_ImportTasks is off
  desk.SetSetting("TBKLK_ImportTasks", "True");
  // Group mode: tasks entered in Outlook have no group.
  EXPECT_TRUE(desk.Import("True") && desk.Subjects().empty());
  ASSERT_TRUE(desk.Import());
  EXPECT_EQ(desk.Subjects(), std::vector<std::string>{"Neu"});
  desk.SetSetting("TBKLK_ImportPrivateTasks", "True");
  ASSERT_TRUE(desk.Import());
  // The run told its progress through the open tasks, to its end.
  EXPECT_EQ(desk.ui().ProgressTask(), "Aufgaben aus Outlook abgleichen");
  EXPECT_GT(desk.ui().ProgressDone(), 0);
  EXPECT_EQ(desk.ui().ProgressDone(), desk.ui().ProgressTotal());
  EXPECT_GE(desk.ui().ProgressEnds(), 1);
  EXPECT_EQ(desk.Subjects(), (std::vector<std::string>{"Neu", "Privat"}));
  const std::string id = desk.IdOf("Neu");
  EXPECT_TRUE(desk.OlTask(id) && desk.SyncLogHas(id));
  // Status 0 although velStatus1 is set: the import does not read it.
  EXPECT_EQ(desk.Host(id, {"Responsible", "CreatedBy", "Status", "DoneInPercent", "Duration",
                           "StartDate", "EndDate", "UnRead", "Version"}),
            "ANNA|ANNA|0|20|1.5|1899-12-30 00:00:00|2026-12-20 00:00:00|True|0");
  EXPECT_TRUE(desk.BoxTexts().empty());
}

TEST(TaskImport, HostCompletionsAndDeletionsReachOutlookWithoutReopeningOrLosingTasks) {
  TaskDesk desk(
      OutlookTasks(
          R"({"class": "task", "Subject": "Halb", "userProperties": {"velTable": "WRTM_Tasks", "velID": "0000000099", "velSearch": ""}},
         {"class": "task", "Subject": "Fremd", )" +
          Linked("0000000098") + "}"),
      R"(, {"ID": "0000000025", "ResponsibleGroup": "Vertrieb", "CreatedBy": "ANNA"})");
  for (const char* id : {"0000000011", "0000000012", "0000000013", "0000000019", "0000000025"})
    ASSERT_TRUE(desk.Sync(id));
  desk.SetNow("2026-12-06 10:30:00");
  desk.EditRecord("WRTM_Tasks", "0000000013", R"({"Status": "5"})");
  desk.SetNow("2026-12-06 11:00:00");
  desk.EditRecord("WRTM_Tasks", "0000000011", R"({"Status": "5"})");
  desk.EditRecord("WRTM_Tasks", "0000000019", R"({"Status": "5"})");
  auto gone = desk.host().Database()->Table("WRTM_Tasks");
  for (const char* id : {"0000000012", "0000000025"}) {
    gone->Seek(id);
    gone->DeleteCurrent();
  }
  desk.EditOl("0000000013", R"({"Subject": "In Outlook geändert"})");
  desk.SetNow("2026-12-06 12:00:00");
  ASSERT_TRUE(desk.Import());
  EXPECT_EQ(desk.Ol("0000000011", {"Status", "PercentComplete", "DateCompleted"}),
            "2|100|2026-12-06 11:00:00");
  EXPECT_EQ(desk.Ol("0000000012", {"Subject"}), "<missing>");
  EXPECT_FALSE(desk.SyncLogHas("0000000012"));
  // Newer Outlook values are taken, the host task stays done, Outlook follows.
  EXPECT_EQ(desk.Host("0000000013", {"Subject", "Status"}), "In Outlook geändert|5");
  EXPECT_EQ(desk.Ol("0000000013", {"Status"}), "2");
  // Links never completed, or never this user's, are left alone.
  EXPECT_TRUE(desk.Find("[Subject] = \"Halb\"", "Aufgaben"));
  EXPECT_TRUE(desk.Find("[Subject] = \"Fremd\"", "Aufgaben"));
  // Group tasks take part in group mode only.
  EXPECT_EQ(desk.Ol("0000000019", {"Status"}) + desk.Ol("0000000025", {"Status"}), "00");
  ASSERT_TRUE(desk.Import("True"));
  EXPECT_EQ(desk.Ol("0000000019", {"Status", "PercentComplete"}), "2|100");
  EXPECT_EQ(desk.Ol("0000000025", {"Subject"}), "<missing>");
  EXPECT_FALSE(desk.SyncLogHas("0000000025"));
}

// The guard against mass deletion asks above its limits only: exactly N
// items or exactly P percent of the folder go without a question.
TEST(TaskImport, TheGuardAsksOnlyAboveItsLimits) {
  struct Case {
    const char* setting;  // "" for the default "50;20%"
    int gone, others;
    bool asked;
  };
  for (const Case& c :
       {Case{"", 50, 0, false}, Case{"", 51, 204, false}, Case{"", 51, 203, true},
        Case{"2;50%", 2, 0, false}, Case{"2;50%", 3, 3, false}, Case{"2;50%", 3, 2, true},
        Case{"2", 3, 100, true}, Case{"50%", 2, 2, false}, Case{"50%", 3, 2, true}}) {
    SCOPED_TRACE(std::string(c.setting) + " " + std::to_string(c.gone) + "/" +
                 std::to_string(c.gone + c.others));
    // Tasks whose host task is gone (each in the sync log), and completed
    // tasks that only count for the share.
    std::string items, log;
    for (int i = 0; i < c.gone + c.others; ++i) {
      const std::string id = std::to_string(1000000000 + i);
      items += std::string(i ? "," : "") + R"({"class": "task", "Subject": "T)" + id + "\", " +
               (i < c.gone ? Linked(id) : std::string(R"("PercentComplete": 100)")) + "}";
      if (i < c.gone)
        log += std::string(i ? "," : "") +
               R"({"velUser": "ANNA", "velTable": "WRTM_Tasks", "velID": "", "velSearch": ")" + id +
               "\"}";
    }
    TaskDesk desk(OutlookTasks(items), "",
                  R"({"host": {"tables": {"TBKLK_SyncLog": [)" + log + "]}}}");
    if (*c.setting) desk.SetSetting("TBKLK_DeleteGuard", c.setting);
    desk.Answer({MsgAnswer::No});
    ASSERT_TRUE(desk.Import());
    EXPECT_EQ(desk.Boxes().size(), c.asked ? 1u : 0u);
    EXPECT_EQ(desk.Folder("Aufgaben")->Items()->Count(), c.asked ? c.gone + c.others : c.others);
  }
}

TEST(TaskLinks, ContactLinksFollowTheOutlookVersion) {
  const std::string linked =
      R"(, {"ID": "0000000021", "Responsible": "ANNA", "LinkedRecordTable": "Ansprechpartner", "LinkedRecordId": "0000000002"},
      {"ID": "0000000022", "Responsible": "ANNA", "LinkedRecordTable": "Vorgaenge", "LinkedRecordId": "0000000003"})";
  TaskDesk old(R"({"outlook": {"version": "14.0.0.0"}, "folders": {
      "anna@example.com\\Aufgaben": {"items": [{"class": "task", "Subject": "Mit Link", "links": ["C1"]},
                                               {"class": "task", "Subject": "Ohne Kontakt", "links": ["C2"]}]},
      "anna@example.com\\Kontakte": {"items": [{"class": "contact", "entryId": "C1", "LastName": "Muster GmbH",
         "userProperties": {"velTable": "Adressen", "velID": "0000000001", "velSearch": "0000000001Adressen"}}]}}})",
               linked);
  // The person became a contact and a favourite; the task links it.
  ASSERT_TRUE(old.Sync("0000000021"));
  auto contacts = old.Folder()->Items();
  auto person = contacts->Find("[velSearch] = \"0000000002Ansprechpartner\"");
  ASSERT_TRUE(person && contacts->Count() == 2);
  auto links = old.OlTask("0000000021")->Links();
  ASSERT_EQ(links->Count(), 1);
  EXPECT_EQ(links->Item(1)->Item()->EntryId(), person->EntryId());
  // Host newer: the links are replaced by the one link.
  links->Add(contacts->Item(1));
  old.OlTask("0000000021")->Save();
  old.SetNow("2026-12-06 11:00:00");
  old.EditRecord("WRTM_Tasks", "0000000021", R"({"Subject": "Neu"})");
  ASSERT_TRUE(old.Sync("0000000021"));
  EXPECT_EQ(old.OlTask("0000000021")->Links()->Count(), 1);
  // A link to a table that is neither: a message, the task goes without.
  ASSERT_TRUE(old.Sync("0000000022"));
  EXPECT_EQ(old.Shown("unbekannten Tabelle 'Vorgaenge'"), 1);
  // Back from Outlook; a link without its contact is reported.
  old.SetSetting("TBKLK_ImportTasks", "True");
  ASSERT_TRUE(old.Import());
  EXPECT_EQ(old.Host(old.IdOf("Mit Link"),
                     {"LinkedRecordTable", "LinkedRecordId", "LinkedRecordDescription"}),
            "Adressen|0000000001|Adresse: Muster GmbH");
  EXPECT_EQ(old.Subjects().size(), 2u);
  EXPECT_EQ(old.Shown("'Ohne Kontakt'"), 0);  // a link without its contact counts as none
  TaskDesk current("{}", linked);             // Outlook 16 keeps no links on tasks
  ASSERT_TRUE(current.Sync("0000000021"));
  EXPECT_EQ(current.OlTask("0000000021")->Links()->Count(), 0);
}

TEST(TaskBadInput, RefusedRecordsOfflineOutlookAndANonNumericEffortLoseNothing) {
  TaskDesk desk(
      OutlookTasks(R"({"class": "task", "Subject": "A"}, {"class": "task", "Subject": "B"})"),
      R"(, {"ID": "0000000023", "Responsible": "ANNA", "Duration": "1,5 Std."})",
      R"({"host": {"schema": {"WRTM_Tasks": {"drop": ["Duration"], "add": {"Duration": {"type": "text", "size": 20}}}}}})");
  ASSERT_TRUE(desk.Import());  // the folder gets its property definitions
  desk.SetSetting("TBKLK_ImportTasks", "True");
  desk.outlook().SetOffline(true);
  // One message, and the tasks wait for the next run.
  EXPECT_TRUE(desk.Import() && desk.BoxTexts().size() == 1 && desk.Subjects().empty());
  desk.outlook().SetOffline(false);
  desk.host().RefuseTable("WRTM_Tasks", "add");
  ASSERT_TRUE(desk.Import());
  EXPECT_EQ(desk.Shown("\r\n- A\r\n- B"), 1);
  EXPECT_TRUE(desk.Subjects().empty());
  EXPECT_FALSE(desk.Find("[Subject] = \"A\"", "Aufgaben")->UserProperties()->Find("velSearch"));
  ASSERT_TRUE(desk.Sync("0000000023"));
  EXPECT_EQ(desk.Ol("0000000023", {"TotalWork"}), "0");
  EXPECT_EQ(desk.Shown("im Feld 'Duration'"), 1);
  desk.SetNow("2026-12-06 11:00:00");
  desk.EditOl("0000000023", R"({"Subject": "Neu"})");
  ASSERT_TRUE(desk.Sync("0000000023"));  // the text the effort could not carry stays
  EXPECT_EQ(desk.Host("0000000023", {"Subject", "Duration"}), "Neu|1,5 Std.");
  desk.SetNow("2026-12-06 12:00:00");
  desk.EditOl("0000000023", R"({"Subject": "Neuer"})");
  desk.host().RefuseRecord("WRTM_Tasks", "0000000023", "edit");
  EXPECT_FALSE(desk.Sync("0000000023"));
  EXPECT_EQ(desk.Shown("darf in Velmora nicht geändert werden"), 1);
  EXPECT_EQ(desk.Host("0000000023", {"Subject"}), "Neu");
}

}  // namespace
}  // namespace velklk::test
