// A per-record call as a session command makes it: AddressOrContactSync2OL
// of one address, its own unit of work and, with `journal`, its journal
// entry and before-images. Shared by the session benchmark and the
// in-process side of the command's.
#pragma once

#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "addin/type_library.h"
#include "support/bench_support.h"
#include "changes/call_journal.h"
#include "changes/row_images.h"
#include "profile/profile.h"

namespace velklk::bench {

class AddressExport {
 public:
  explicit AddressExport(Profile& profile) : profile_(profile) {
    {
      ProfileUnitOfWork work(profile_);
      sync_ = CreateObject("velKLK.CSync");
    }
    member_ = &FindMember(*sync_, "AddressOrContactSync2OL");
  }

  // Exports the address with key `Id(i)`; false when the call says it failed.
  bool Call(int i, bool journal) {
    ProfileUnitOfWork work(profile_);
    if (journal) profile_.Capture().Start(limit_);
    auto args = ArgumentsFromTexts(*member_, app_, db_, {Id(i), "Adressen"});
    const bool ok = Invoke(*sync_, member_->dispid, args).ToBool();
    if (journal) {
      const std::optional<std::string> images = profile_.Capture().Finish();
      profile_.Journal().Append(
          nlohmann::ordered_json{{"member", "velKLK.CSync.AddressOrContactSync2OL"},
                                 {"result", ok}},
          images ? &*images : nullptr, limit_);
    }
    work.Commit();
    return ok;
  }

 private:
  Profile& profile_;
  std::unique_ptr<DispatchObject> sync_;
  const MemberInfo* member_ = nullptr;
  std::shared_ptr<HostApplication> app_ = profile_.Host().Application();
  std::shared_ptr<HostDatabase> db_ = profile_.Host().Database();
  std::uint64_t limit_ = CallJournal::ImageLimit();
};

}  // namespace velklk::bench
