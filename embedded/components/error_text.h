// The error-text component: readable German and English texts for the error
// numbers the system and its platforms raise.
#pragma once

#include "platform/components.h"

namespace velklk {

class TableErrorText final : public ErrorTextComponent {
 public:
  // "en" gives the English text, any other language the German one; empty for
  // an unknown number.
  std::string ErrorText(unsigned long number, const std::string& language) const override;
};

}  // namespace velklk
