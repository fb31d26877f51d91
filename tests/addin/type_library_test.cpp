// The type library as data and late-bound calls: identifiers, member order,
// dispatch identifiers, creation by programmatic identifier and argument
// checking, without any platform behind the objects.
#include "addin/type_library.h"

#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include <regex>
#include <set>

#include "platform/automation_error.h"
#include "session/shared_state.h"

namespace velklk {
namespace {

std::uint32_t ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const AutomationError& e) {
    return e.Number();
  }
  return 0;
}

TEST(TypeLibrary, DescribesTheLibraryInterfacesAndClasses) {
  const TypeLibraryInfo& lib = TypeLibrary();
  EXPECT_STREQ(lib.name, "velKLK");
  EXPECT_EQ(lib.lcid, 0x409u);
  ASSERT_EQ(lib.interfaces.size(), 3u);
  EXPECT_STREQ(lib.interfaces[0].name, "_CMenue");
  EXPECT_STREQ(lib.interfaces[1].name, "_CAppointment");
  EXPECT_STREQ(lib.interfaces[2].name, "_CSync");

  std::vector<std::string> sync;
  for (const auto& m : lib.interfaces[2].members) sync.push_back(m.name);
  EXPECT_EQ(sync, (std::vector<std::string>{
                      "SelectOlContactPath", "SelectOLAppointmentPath", "SelectOlTaskPath",
                      "ConfigAppintmentTypes", "ClearContactsVelSearch", "AppSync2OL",
                      "AddressOrContactSync2OL", "TaskSync2OL", "SyncContacts2VEL",
                      "SyncAppointments2VEL", "SyncTasks2VEL", "CreateOutlookTask"}));
  for (const auto& itf : lib.interfaces) {
    for (std::size_t i = 0; i < itf.members.size(); ++i) {
      EXPECT_EQ(itf.members[i].dispid, 0x60030000 + static_cast<int>(i)) << itf.members[i].name;
    }
  }
  // Results: ConfigAppintmentTypes is the one CSync member without one.
  EXPECT_FALSE(lib.interfaces[2].members[3].returnsBoolean);
  EXPECT_TRUE(lib.interfaces[2].members[11].returnsBoolean);
  EXPECT_FALSE(lib.interfaces[0].members[0].returnsBoolean);
  const auto& sa = lib.interfaces[2].members[9];
  ASSERT_EQ(sa.params.size(), 5u);
  EXPECT_EQ(sa.params[1].kind, ParamKind::Date);
  EXPECT_EQ(sa.params[4].kind, ParamKind::Boolean);
  EXPECT_EQ(lib.interfaces[2].members[11].params[0].kind, ParamKind::HostDatabase);

  std::set<std::string> guids{lib.libid};
  const std::regex guid(R"(\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\})");
  EXPECT_TRUE(std::regex_match(lib.libid, guid));
  for (const auto& itf : lib.interfaces) {
    EXPECT_TRUE(std::regex_match(itf.iid, guid));
    guids.insert(itf.iid);
  }
  ASSERT_EQ(lib.classes.size(), 3u);
  for (const auto& c : lib.classes) {
    EXPECT_TRUE(std::regex_match(c.clsid, guid));
    guids.insert(c.clsid);
    EXPECT_EQ(std::string(c.progid), std::string("velKLK.") + c.name);
    EXPECT_EQ(std::string(c.defaultInterface->name), std::string("_") + c.name);
  }
  EXPECT_EQ(guids.size(), 7u);
}

TEST(TypeLibrary, CreatesObjectsAndFindsMembers) {
  ResetState({});
  auto sync = CreateObject("velKLK.CSync");
  EXPECT_STREQ(sync->Class().name, "CSync");
  EXPECT_STREQ(CreateObject("VELKLK.cmenue")->Class().name, "CMenue");
  EXPECT_EQ(ErrorOf([] { CreateObject("velKLK.CNothing"); }), err::kClassNotRegistered);
  EXPECT_EQ(ErrorOf([] { CreateObject("Outlook.Application"); }), err::kClassNotRegistered);

  EXPECT_EQ(FindMember(*sync, "addressorcontactsync2ol").dispid, 0x60030006);
  EXPECT_STREQ(FindMember(*sync, 0x6003000B).name, "CreateOutlookTask");
  EXPECT_EQ(ErrorOf([&] { FindMember(*sync, "UpdateAdresse"); }), err::kUnknownName);
  EXPECT_EQ(ErrorOf([&] { FindMember(*sync, 0x6003000C); }), err::kMemberNotFound);
}

TEST(TypeLibrary, ObjectsInstallAndRemoveTheErrorReporter) {
  SharedState& s = ResetState({});
  EXPECT_FALSE(s.mErr);
  auto first = CreateObject("velKLK.CSync");
  auto reporter = s.mErr;
  EXPECT_TRUE(reporter);
  auto second = CreateObject("velKLK.CAppointment");
  EXPECT_TRUE(s.mErr);
  EXPECT_NE(s.mErr, reporter);  // every new instance brings a new reporter
  second.reset();
  EXPECT_FALSE(s.mErr);  // destroying any instance removes it for all
}

TEST(TypeLibrary, ChecksArgumentCountAndTypesBeforeTheCall) {
  ResetState({});
  auto sync = CreateObject("velKLK.CSync");
  std::vector<Variant> none;
  EXPECT_EQ(ErrorOf([&] { Invoke(*sync, "AddressOrContactSync2OL", none); }), err::kBadParamCount);
  std::vector<Variant> textForApp{Variant("app"), Variant("1"), Variant("Adressen")};
  EXPECT_EQ(ErrorOf([&] { Invoke(*sync, "AddressOrContactSync2OL", textForApp); }),
            err::kTypeMismatch);
  std::vector<Variant> badBool{Variant(), Variant("1"), Variant("WRTM_Tasks"), Variant("maybe")};
  EXPECT_EQ(ErrorOf([&] { Invoke(*sync, "TaskSync2OL", badBool); }), err::kTypeMismatch);
  std::vector<Variant> badDate{Variant(), Variant("2026-13-01"), Variant("2026-12-31"),
                               Variant(true), Variant(false)};
  EXPECT_EQ(ErrorOf([&] { Invoke(*sync, 0x60030009, badDate); }), err::kTypeMismatch);
  std::vector<Variant> listForText{Variant(), Variant(VariantList{Variant("a")}),
                                   Variant("Adressen")};
  EXPECT_EQ(ErrorOf([&] { Invoke(*sync, "AddressOrContactSync2OL", listForText); }),
            err::kTypeMismatch);
}

TEST(TypeLibrary, BuildsArgumentsFromCommandLineTexts) {
  ResetState({});
  auto sync = CreateObject("velKLK.CSync");
  const MemberInfo& sa = FindMember(*sync, "SyncAppointments2VEL");
  auto args = ArgumentsFromTexts(sa, nullptr, nullptr,
                                 {"2026-12-01", "2026-12-31 23:59:59", "True", "false"});
  ASSERT_EQ(args.size(), 5u);
  EXPECT_TRUE(args[0].IsEmpty());
  EXPECT_EQ(args[1].ToDate().Format(), "2026-12-01 00:00:00");
  EXPECT_EQ(args[2].ToDate().Format(), "2026-12-31 23:59:59");
  EXPECT_EQ(args[3], Variant(true));
  EXPECT_EQ(args[4], Variant(false));
  EXPECT_EQ(ErrorOf([&] { ArgumentsFromTexts(sa, nullptr, nullptr, {"2026-12-01"}); }),
            err::kBadParamCount);
  EXPECT_EQ(
      ErrorOf([&] {
        ArgumentsFromTexts(sa, nullptr, nullptr, {"01.12.2026", "2026-12-31", "True", "True"});
      }),
      err::kTypeMismatch);
  // The refusal names the parameter and the text.
  try {
    ArgumentsFromTexts(sa, nullptr, nullptr, {"2026-12-01", "2026-12-31", "vielleicht", "True"});
    ADD_FAILURE() << "a Boolean text that is not True or False was taken";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.Number(), err::kTypeMismatch);
    EXPECT_EQ(e.Description(),
              "Type mismatch for parameter bImportAktivitaeten (Boolean): 'vielleicht'");
  }
  const MemberInfo& task = FindMember(*sync, "CreateOutlookTask");
  auto taskArgs = ArgumentsFromTexts(task, nullptr, nullptr, {"0000000041"});
  ASSERT_EQ(taskArgs.size(), 2u);
  EXPECT_EQ(taskArgs[1], Variant("0000000041"));
}

// Any command-line text either converts or is refused with a type mismatch;
// nothing else escapes, and what converts means what it says.
RC_GTEST_PROP(TypeLibraryProperties, CommandLineTextsConvertOrAreRefused, (std::string text)) {
  for (ParamKind kind : {ParamKind::String, ParamKind::Boolean, ParamKind::Date}) {
    try {
      Variant value = ArgumentFromText(kind, text);
      if (kind == ParamKind::String) RC_ASSERT(value == Variant(text));
      if (kind == ParamKind::Boolean)
        RC_ASSERT(value.ToText() == (value.ToBool() ? "True" : "False"));
      if (kind == ParamKind::Date) RC_ASSERT(AutoDate::Parse(text).has_value());
    } catch (const AutomationError& e) {
      RC_ASSERT(e.Number() == err::kTypeMismatch);
      RC_ASSERT(kind != ParamKind::String);
    }
  }
}

RC_GTEST_PROP(TypeLibraryProperties, DatesComeBackAsWritten, ()) {
  const int year = *rc::gen::inRange(1900, 2200);
  const int month = *rc::gen::inRange(1, 13);
  const int day = *rc::gen::inRange(1, 29);
  const int hour = *rc::gen::inRange(0, 24);
  const int minute = *rc::gen::inRange(0, 60);
  const int second = *rc::gen::inRange(0, 60);
  const std::string text = AutoDate::FromParts(year, month, day, hour, minute, second).Format();
  RC_ASSERT(ArgumentFromText(ParamKind::Date, text).ToDate().Format() == text);
}

}  // namespace
}  // namespace velklk
