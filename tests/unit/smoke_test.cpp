#include <gtest/gtest.h>

#include "bootstrap/messages.h"
#include "tests/sim/sim_world.h"

TEST(SmokeTest, LoadsCaption) {
  sim::Reset();
  WString text;
  ASSERT_TRUE(LoadMessage(104, text));
  EXPECT_EQ(text, u"Норвикс ЭЦП Browser plug-in");
}
