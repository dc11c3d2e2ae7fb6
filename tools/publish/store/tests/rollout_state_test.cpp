#include "store/rollout_state.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "store/store_layout.h"
#include "store/utc_time.h"

namespace {

class StoreFolderTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/store-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    ASSERT_EQ(mkdir(StoreFolder(dir_).c_str(), 0755), 0);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }

  std::string dir_;
};

RolloutState SampleState() {
  RolloutState state;
  state.current = "12.0.0.1";
  state.candidate = "12.0.0.2-12.0.0.3";
  state.percent = 12.5;
  state.salt = "5e1f0c2a9b7d3e64";
  state.canaries = {"10.20.0.0/16", "2001:db8:1::/48"};
  state.trustedProxies = {"192.0.2.0/24"};
  state.steps = {1, 5, 25, 100};
  state.stepHours = 24;
  state.stepStarted = 1714564800;
  state.halted = true;
  state.history = {{1714564800, "start", "12.0.0.2-12.0.0.3", 1, "canary \"week 18\""},
                   {1714651200, "halt", "12.0.0.2-12.0.0.3", 0, "crash reports \xc3\xa9"}};
  return state;
}

TEST_F(StoreFolderTest, SavedStateLoadsBackFieldForField) {
  RolloutState saved = SampleState();
  std::string error;
  ASSERT_TRUE(SaveRolloutState(dir_, saved, error)) << error;
  RolloutState loaded;
  ASSERT_TRUE(LoadRolloutState(dir_, loaded, error)) << error;
  EXPECT_EQ(RolloutStateText(loaded), RolloutStateText(saved));
  EXPECT_EQ(loaded.steps, saved.steps);
  ASSERT_EQ(loaded.history.size(), 2u);
  EXPECT_EQ(loaded.history[1].reason, "crash reports \xc3\xa9");
  EXPECT_EQ(loaded.history[1].time, 1714651200);
  EXPECT_FALSE(std::filesystem::exists(RolloutStatePath(dir_) + ".new"));
}

TEST_F(StoreFolderTest, CurrentReleaseIsTheServedOneWithOrWithoutAState) {
  RolloutState state;
  std::string error;
  ASSERT_TRUE(LoadRolloutState(dir_, state, error)) << error;
  EXPECT_EQ(RolloutStateText(state), RolloutStateText(RolloutState{}));
  ASSERT_EQ(symlink("releases/12.0.0.9", CurrentLink(dir_).c_str()), 0);
  ASSERT_TRUE(LoadRolloutState(dir_, state, error)) << error;
  EXPECT_EQ(state.current, "12.0.0.9");
  // A state that names another current release (a crash came between the
  // switch and the state's write) loses to the link.
  ASSERT_TRUE(SaveRolloutState(dir_, SampleState(), error)) << error;
  ASSERT_TRUE(LoadRolloutState(dir_, state, error)) << error;
  EXPECT_EQ(state.current, "12.0.0.9");
}

TEST_F(StoreFolderTest, DamagedStateIsRefusedWithItsPath) {
  std::string good = RolloutStateText(SampleState());
  const std::string damaged[] = {
      "",
      "{}",
      good.substr(0, good.size() / 2),
      std::string(good).replace(good.find("\"percent\": 12.5"), 15, "\"percent\": \"12\""),
      std::string(good).replace(good.find("2024-05-01T12:00:00Z"), 20, "2024-05-01 12:00:00"),
      std::string(good).replace(good.find("\"halted\": true"), 14, "\"halted\": 1"),
      std::string(good).replace(good.find("\"10.20.0.0/16\""), 14, "7"),
  };
  for (const std::string& text : damaged) {
    Write(RolloutStatePath(dir_), text);
    RolloutState state;
    state.current = "untouched";
    std::string error;
    EXPECT_FALSE(LoadRolloutState(dir_, state, error)) << text;
    EXPECT_EQ(error, RolloutStatePath(dir_) +
                         ": not a rollout state (a field is missing or of the wrong type)");
    EXPECT_EQ(state.current, "untouched");
  }
}

TEST_F(StoreFolderTest, FailedSaveLeavesTheOldStateWhole) {
  std::string error;
  ASSERT_TRUE(SaveRolloutState(dir_, SampleState(), error)) << error;
  std::string before = RolloutStateText(SampleState());
  // A folder where the new file would go makes the write fail.
  ASSERT_EQ(mkdir((RolloutStatePath(dir_) + ".new").c_str(), 0755), 0);
  RolloutState changed = SampleState();
  changed.percent = 50;
  EXPECT_FALSE(SaveRolloutState(dir_, changed, error));
  EXPECT_NE(error.find(RolloutStatePath(dir_) + ".new: "), std::string::npos) << error;
  RolloutState loaded;
  ASSERT_TRUE(LoadRolloutState(dir_, loaded, error)) << error;
  EXPECT_EQ(RolloutStateText(loaded), before);
}

TEST(UtcTimeTest, WritesAndReadsUtcSecondsAndRefusesOtherForms) {
  int64_t seconds = 0;
  EXPECT_EQ(UtcTimeText(0), "1970-01-01T00:00:00Z");
  EXPECT_EQ(UtcTimeText(1714564800), "2024-05-01T12:00:00Z");
  ASSERT_TRUE(ParseUtcTime("2024-02-29T23:59:59Z", seconds));
  EXPECT_EQ(seconds, 1709251199);
  for (const char* text : {"2024-02-30T00:00:00Z", "2024-05-01T12:00:00", "2024-05-01T12:00:00Z ",
                           "2024-5-01T12:00:00Z", "yesterday"}) {
    EXPECT_FALSE(ParseUtcTime(text, seconds)) << text;
  }
}

TEST(ReleaseNameTest, NamesByVersionAndAcceptsOnlySafeNames) {
  EXPECT_EQ(ReleaseName({12, 0, 0, 1}, {12, 0, 0, 1}), "12.0.0.1");
  EXPECT_EQ(ReleaseName({12, 0, 0, 1}, {12, 0, 0, 2}), "12.0.0.1-12.0.0.2");
  for (const char* name : {"12.0.0.1", "12.0.0.1-12.0.0.2"}) EXPECT_TRUE(IsReleaseName(name));
  for (const char* name : {"", "..", "../x", "1/2", "1-2-3", "-1", ".1", "1 2", "12.0.0.1;"}) {
    EXPECT_FALSE(IsReleaseName(name)) << name;
  }
}

}  // namespace
