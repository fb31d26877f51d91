#include "components/error_text.h"

#include <gtest/gtest.h>

#include "platform/automation_error.h"

namespace velklk {
namespace {

// Every number the system raises has a text in both languages.
TEST(ErrorText, KnowsTheErrorsTheSystemRaisesInBothLanguages) {
  TableErrorText texts;
  for (unsigned long number :
       {5ul,          9ul,          13ul,         70ul,         76ul,
        91ul,         326ul,        424ul,        0x80004001ul, 0x80004005ul,
        0x80070057ul, 0x8004010Ful, 0x80040115ul, 0x80041076ul, 0x80020006ul,
        0x80020009ul, 0x800401E3ul, 0x80040154ul, 0x8002000Bul, 0x80020005ul}) {
    EXPECT_FALSE(texts.ErrorText(number, "de").empty()) << std::hex << number;
    EXPECT_NE(texts.ErrorText(number, "de"), texts.ErrorText(number, "en")) << std::hex << number;
  }
  EXPECT_EQ(texts.ErrorText(91, "en"), "Object variable or With block variable not set");
  EXPECT_EQ(texts.ErrorText(91, "fr"), texts.ErrorText(91, "de"));
  EXPECT_EQ(texts.ErrorText(12345, "de"), "");
}

}  // namespace
}  // namespace velklk
