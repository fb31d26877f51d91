#include "ui/item_summary.h"

#include "platform/automation_error.h"
#include "platform/outlook.h"

namespace velklk {
namespace {

std::string ClassName(int classNumber) {
  switch (classNumber) {
    case olclass::kContact:
      return "contact";
    case olclass::kAppointment:
      return "appointment";
    case olclass::kTask:
      return "task";
    case olclass::kDistList:
      return "distlist";
    default:
      return std::to_string(classNumber);
  }
}

}  // namespace

ItemSummary SummarizeItem(OlItem& item) {
  ItemSummary summary;
  IgnoreError([&] {
    summary.classNumber = item.Class();
    summary.className = ClassName(summary.classNumber);
  });
  IgnoreError([&] { summary.subject = item.Get("Subject").ToText(); });
  if (summary.classNumber == olclass::kContact || summary.classNumber == olclass::kDistList) {
    IgnoreError([&] { summary.fileAs = item.Get("FileAs").ToText(); });
  }
  IgnoreError([&] {
    auto properties = item.UserProperties();
    if (!properties) return;
    if (auto property = properties->Find("velSearch"))
      summary.velSearch = property->Value().ToText();
  });
  return summary;
}

}  // namespace velklk
