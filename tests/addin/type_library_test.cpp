// Late binding as the host uses it: creation by programmatic identifier,
// members by name and dispatch identifier, argument checks before the call
// and by-reference write-back after it. The table itself is pinned by the
// golden output of `velklk typelib`; that every row's parameter kinds match
// its method is checked by the compiler.
#include "addin/type_library.h"

#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include "support/desk.h"

namespace velklk::test {
namespace {

TEST(TypeLibrary, CreatesObjectsAndFindsMembersWithoutRegardToCase) {
  Desk desk;
  auto sync = CreateObject("VELKLK.csync");
  EXPECT_STREQ(sync->Class().name, "CSync");
  EXPECT_EQ(ErrorOf([] { CreateObject("velKLK.CNothing"); }), err::kClassNotRegistered);

  const MemberInfo& byName = FindMember(*sync, "addressorcontactsync2ol");
  EXPECT_STREQ(byName.name, "AddressOrContactSync2OL");
  EXPECT_EQ(&FindMember(*sync, byName.dispid), &byName);
  EXPECT_EQ(ErrorOf([&] { FindMember(*sync, "UpdateAdresse"); }), err::kUnknownName);
  const auto count = static_cast<std::int32_t>(sync->Class().defaultInterface->members.size());
  EXPECT_EQ(ErrorOf([&] { FindMember(*sync, kFirstDispid + count); }), err::kMemberNotFound);
  EXPECT_EQ(ErrorOf([&] { FindMember(*sync, kFirstDispid - 1); }), err::kMemberNotFound);

  // A member of another class is refused, not called on this object.
  auto menue = CreateObject("velKLK.CMenue");
  std::vector<Variant> args{Variant()};
  EXPECT_EQ(ErrorOf([&] { sync->InvokeMember(FindMember(*menue, "UpdateAdresse"), args); }),
            err::kMemberNotFound);
}

TEST(TypeLibrary, EveryInstanceBringsAnErrorReporterAndTakesItAlong) {
  Desk desk;
  SharedState& s = desk.state();
  EXPECT_FALSE(s.mErr);
  auto first = CreateObject("velKLK.CSync");
  auto reporter = s.mErr;
  EXPECT_TRUE(reporter);
  auto second = CreateObject("velKLK.CAppointment");
  EXPECT_NE(s.mErr, reporter);
  second.reset();
  EXPECT_FALSE(s.mErr);  // destroying any instance removes it for all
}

TEST(TypeLibrary, RefusesWrongCountsAndTypesBeforeTheCall) {
  Desk desk;
  auto sync = CreateObject("velKLK.CSync");
  const Variant app(std::shared_ptr<AutomationObject>(desk.host().Application()));
  const Variant db(std::shared_ptr<AutomationObject>(desk.host().Database()));
  struct Refused {
    std::string member;
    std::vector<Variant> args;
    std::uint32_t error;
    std::string says;
  };
  const Variant id("1"), table("Adressen");
  const std::vector<Refused> refused{
      {"AddressOrContactSync2OL", {app, id}, err::kBadParamCount, "takes 3 arguments, not 2"},
      {"AddressOrContactSync2OL", {app, id, table, id}, err::kBadParamCount, "not 4"},
      {"AddressOrContactSync2OL",
       {Variant("app"), id, table},
       err::kTypeMismatch,
       "parameter oApp (HostApplication)"},
      {"AddressOrContactSync2OL", {db, id, table}, err::kTypeMismatch, "parameter oApp"},
      {"AddressOrContactSync2OL",
       {app, Variant(VariantList{id}), table},
       err::kTypeMismatch,
       "parameter sOLID (String)"},
      {"CreateOutlookTask", {app, id}, err::kTypeMismatch, "parameter pobjDB (HostDatabase)"},
      {"TaskSync2OL",
       {app, id, table, Variant("maybe")},
       err::kTypeMismatch,
       "parameter pbResponsibleGroup (Boolean)"},
      {"SyncAppointments2VEL",
       {app, Variant("2026-12-01"), Variant("2026-13-01"), Variant(true), Variant(false)},
       err::kTypeMismatch,
       "parameter dStartTo (Date)"},
  };
  for (const Refused& r : refused) {
    std::vector<Variant> args = r.args;
    try {
      Invoke(*sync, r.member, args);
      ADD_FAILURE() << r.member << " took " << r.says;
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.Number(), r.error) << e.Description();
      EXPECT_NE(e.Description().find(r.says), std::string::npos) << e.Description();
    }
    EXPECT_EQ(args, r.args) << r.member;  // nothing written back
  }
  EXPECT_TRUE(desk.LogLines().empty());  // no member ran
}

TEST(TypeLibrary, WritesTheConvertedArgumentsBackAfterTheCall) {
  Desk desk;
  auto sync = CreateObject("velKLK.CSync");
  const auto app = std::shared_ptr<AutomationObject>(desk.host().Application());
  std::vector<Variant> args{Variant(app), Variant("2026-12-01"), Variant(46022.5), Variant(1),
                            Variant("false")};
  const Variant result = Invoke(*sync, 0x60030009, args);  // SyncAppointments2VEL
  EXPECT_EQ(result.GetKind(), Variant::Kind::Bool);
  EXPECT_EQ(args[0].ToObject(), app);
  EXPECT_EQ(args[1], Variant(AutoDate::FromParts(2026, 12, 1)));
  EXPECT_EQ(args[2], Variant(AutoDate::FromParts(2025, 12, 31, 12, 0, 0)));
  EXPECT_EQ(args[3], Variant(true));
  EXPECT_EQ(args[4], Variant(false));

  auto menue = CreateObject("velKLK.CMenue");
  std::vector<Variant> nothing{Variant()};
  EXPECT_TRUE(Invoke(*menue, "UpdateAdresse", nothing).IsEmpty());  // a member without result
}

// Any command-line text either converts or is refused with a type mismatch;
// nothing else escapes, and what converts means what it says. (Whole
// argument lists from texts: every call of the desk and of the command.)
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

}  // namespace
}  // namespace velklk::test
