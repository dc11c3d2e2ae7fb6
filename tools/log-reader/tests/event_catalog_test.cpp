#include "event_catalog.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(EventCatalogTest, FindsEveryEventByItsCodeInAscendingOrder) {
  EventTable table = AllEvents();
  ASSERT_GT(table.count, 0u);
  for (std::size_t index = 0; index < table.count; ++index) {
    const EventDescription& event = table.begin[index];
    EXPECT_EQ(FindEvent(event.code), &event) << event.code;
    EXPECT_GE(event.code, 1200) << event.code;
    EXPECT_LE(event.code, 1629) << event.code;
    EXPECT_FALSE(std::string(event.meaning).empty()) << event.code;
    if (index > 0) {
      EXPECT_LT(table.begin[index - 1].code, event.code);
    }
  }
}

TEST(EventCatalogTest, KnowsWhatEachEventCarries) {
  const struct {
    int32_t code;
    LogLevel level;
    EventValue value;
  } cases[] = {
      {1403, LogLevel::Warning, EventValue::ErrorNumber}, {1217, LogLevel::Error, EventValue::ErrorNumber},
      {1619, LogLevel::Info, EventValue::ErrorNumber},    {1622, LogLevel::Info, EventValue::ControlCode},
      {1628, LogLevel::Info, EventValue::HostName},       {1629, LogLevel::Info, EventValue::HostName},
      {1301, LogLevel::Error, EventValue::None},          {1608, LogLevel::Info, EventValue::None},
      {1421, LogLevel::Warning, EventValue::ErrorNumber}, {1626, LogLevel::Info, EventValue::None},
  };
  for (const auto& c : cases) {
    const EventDescription* event = FindEvent(c.code);
    ASSERT_NE(event, nullptr) << c.code;
    EXPECT_EQ(event->level, c.level) << c.code;
    EXPECT_EQ(event->value, c.value) << c.code;
  }
}

TEST(EventCatalogTest, FindsNothingForCodesTheServiceNeverWrites) {
  for (int32_t code : {0, 1199, 1202, 1204, 1405, 1603, 1611, 1630, 9999}) {
    EXPECT_EQ(FindEvent(code), nullptr) << code;
  }
}

}  // namespace
