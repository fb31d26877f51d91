// How a task's completion values move together when one of them is set
// through the object model, as in Outlook: Status "completed" (2),
// PercentComplete 100, Complete and DateCompleted. Internal to the embedded
// Outlook store.
#pragma once

#include "outlook/model.h"

namespace velklk::outlook {

// Applies an assignment of Status, PercentComplete, Complete or
// DateCompleted to a task's values, together with the values that follow
// from it; `today` is the completion date Outlook stamps. False, and nothing
// changed, for any other property.
bool ApplyTaskCompletion(ItemData& data, int id, const PropValue& value, AutoDate today);

}  // namespace velklk::outlook
