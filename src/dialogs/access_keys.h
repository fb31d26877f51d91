// Access keys of button captions: each caption gets an "&" before the first
// of its letters or digits (ASCII) that no caption before it took, compared
// without regard to case; a caption whose letters are all taken gets none.
// An "&" already in a caption is doubled, so that it shows as itself.
#pragma once

#include <string>
#include <vector>

namespace velklk {

std::vector<std::string> WithAccessKeys(const std::vector<std::string>& captions);

// The caption as shown: every access-key "&" removed, "&&" shown as "&".
std::string WithoutAccessKey(const std::string& caption);
// The position (in bytes) of the access-key letter in WithoutAccessKey's
// text, -1 when the caption has none.
int AccessKeyPosition(const std::string& caption);

}  // namespace velklk
