#include "update/update_state.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

#include "settings/auto_update_policy.h"
#include "support/log_capture.h"
#include "support/registry_keys.h"

namespace {

const wchar_t kStateKey[] = L"SOFTWARE\\Wendral\\PlumixPlayer";
const uint64_t kHour = 36000000000ULL;
const uint64_t kMinute = 600000000ULL;
const uint64_t kDay = 24 * kHour;

class UpdateStateTest : public testing::Test {
 protected:
  static bool SetValue(const wchar_t* name, DWORD type, const void* data, DWORD size) {
    return SetRegistryValue(kStateKey, name, type, data, size);
  }
  static bool SetLastUpdateCheck(uint64_t value) {
    return SetValue(L"LastUpdateCheck", REG_QWORD, &value, sizeof(value));
  }
  static bool HasValue(const wchar_t* name) {
    std::string bytes;
    DWORD type = 0;
    return GetRegistryValue(kStateKey, name, bytes, type);
  }
  // The value's bytes as a number of that width, after checking type and size.
  template <typename Number>
  static Number ValueOf(const wchar_t* name, DWORD expectedType) {
    std::string bytes;
    DWORD type = 0;
    Number number = 0;
    EXPECT_TRUE(GetRegistryValue(kStateKey, name, bytes, type)) << "missing value";
    EXPECT_EQ(expectedType, type);
    EXPECT_EQ(sizeof(Number), bytes.size());
    if (bytes.size() == sizeof(Number)) std::memcpy(&number, bytes.data(), sizeof(Number));
    return number;
  }

  ScopedRegistryKey key_{kStateKey};
};

TEST_F(UpdateStateTest, WithoutAKeyACheckIsDueAndNothingCanBeReadOrDeleted) {
  EXPECT_TRUE(IsUpdateCheckDue());
  uint32_t count = 77;
  EXPECT_FALSE(ReadUpdateAttempts(count));
  EXPECT_EQ(77u, count);
  EXPECT_FALSE(DeleteLastUpdateCheck());
  EXPECT_FALSE(DeleteUpdateState());
  EXPECT_FALSE(RegistryKeyExists(kStateKey)) << "reading or deleting created the key";
}

TEST_F(UpdateStateTest, IncrementUpdateAttemptsCreatesTheKeyAndCounts) {
  ASSERT_TRUE(IncrementUpdateAttempts());
  EXPECT_EQ(1u, ValueOf<uint32_t>(L"UpdateAttempts", REG_DWORD));
  ASSERT_TRUE(IncrementUpdateAttempts());
  ASSERT_TRUE(IncrementUpdateAttempts());
  uint32_t count = 0;
  ASSERT_TRUE(ReadUpdateAttempts(count));
  EXPECT_EQ(3u, count);
  EXPECT_FALSE(HasValue(L"LastUpdateCheck"));
}

TEST_F(UpdateStateTest, IncrementUpdateAttemptsWrapsAfterTheLargestCount) {
  ASSERT_TRUE(StoreUpdateAttempts(4294967295u));
  ASSERT_TRUE(IncrementUpdateAttempts());
  EXPECT_EQ(0u, ValueOf<uint32_t>(L"UpdateAttempts", REG_DWORD));
}

// The count is read into four bytes that start at 0, whatever the value's type.
TEST_F(UpdateStateTest, IncrementUpdateAttemptsReadsAnyTypeThatFitsFourBytes) {
  struct Case {
    DWORD type;
    std::string bytes;
    uint32_t stored;
  } cases[] = {
      {REG_DWORD, std::string("\x06\x00\x00\x00", 4), 7},
      {REG_BINARY, std::string("\x05\x00", 2), 6},
      {REG_BINARY, std::string("\x05\x01\x00", 3), 262},
      {REG_SZ, std::string("\x09\x00\x00\x00", 4), 10},
      // Too long for four bytes: it cannot be read, so counting starts again.
      {REG_QWORD, std::string("\x05\x00\x00\x00\x00\x00\x00\x00", 8), 1},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(SetValue(L"UpdateAttempts", c.type, c.bytes.data(), static_cast<DWORD>(c.bytes.size())));
    ASSERT_TRUE(IncrementUpdateAttempts());
    EXPECT_EQ(c.stored, ValueOf<uint32_t>(L"UpdateAttempts", REG_DWORD)) << "type " << c.type;
  }
}

TEST_F(UpdateStateTest, StoreLastUpdateCheckWritesTheCurrentTimeOrZero) {
  uint64_t before = GetCurrentFileTime();
  ASSERT_TRUE(StoreLastUpdateCheck(false));
  uint64_t after = GetCurrentFileTime();
  uint64_t stored = ValueOf<uint64_t>(L"LastUpdateCheck", REG_QWORD);
  EXPECT_LE(before, stored);
  EXPECT_LE(stored, after);
  EXPECT_FALSE(IsUpdateCheckDue());

  ASSERT_TRUE(StoreLastUpdateCheck(true));
  EXPECT_EQ(0u, ValueOf<uint64_t>(L"LastUpdateCheck", REG_QWORD));
  EXPECT_TRUE(IsUpdateCheckDue());
  EXPECT_FALSE(HasValue(L"UpdateAttempts"));
}

TEST_F(UpdateStateTest, ACheckIsDueOnlyMoreThanADayAfterTheLastOne) {
  struct Case {
    const char* what;
    int64_t offset;  // from now
    bool due;
  } cases[] = {
      {"just now", 0, false},
      {"23 h 59 min ago", -static_cast<int64_t>(kDay - kMinute), false},
      {"24 h and 100 ns ago", -static_cast<int64_t>(kDay + 1), true},
      {"two days ago", -static_cast<int64_t>(2 * kDay), true},
      {"an hour in the future", static_cast<int64_t>(kHour), false},
      {"two days in the future", static_cast<int64_t>(2 * kDay), false},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(SetLastUpdateCheck(GetCurrentFileTime() + c.offset));
    EXPECT_EQ(c.due, IsUpdateCheckDue()) << c.what;
  }
}

// The value is read into eight bytes that start at 0, its type not examined.
TEST_F(UpdateStateTest, LastUpdateCheckIsReadWhateverItsType) {
  uint64_t now = GetCurrentFileTime();
  struct Case {
    const char* what;
    DWORD type;
    DWORD size;
    bool due;
  } cases[] = {
      // Only the low 32 bits of a recent time: a time in 1601, so due.
      {"4-byte REG_DWORD", REG_DWORD, 4, true},
      {"8-byte REG_BINARY", REG_BINARY, 8, false},
      {"8-byte REG_SZ", REG_SZ, 8, false},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(SetValue(L"LastUpdateCheck", c.type, &now, c.size));
    EXPECT_EQ(c.due, IsUpdateCheckDue()) << c.what;
  }
  // Longer than eight bytes: unreadable, so counted as 0.
  const uint64_t twice[2] = {now, now};
  ASSERT_TRUE(SetValue(L"LastUpdateCheck", REG_BINARY, twice, sizeof(twice)));
  EXPECT_TRUE(IsUpdateCheckDue());
}

TEST_F(UpdateStateTest, DeleteUpdateStateRemovesBothValuesButNotTheKey) {
  ASSERT_TRUE(StoreUpdateAttempts(0));
  ASSERT_TRUE(StoreLastUpdateCheck(false));
  EXPECT_TRUE(DeleteUpdateState());
  EXPECT_FALSE(HasValue(L"UpdateAttempts"));
  EXPECT_FALSE(HasValue(L"LastUpdateCheck"));
  EXPECT_TRUE(RegistryKeyExists(kStateKey));
}

TEST_F(UpdateStateTest, DeleteUpdateStateKeepsLastUpdateCheckWithoutUpdateAttempts) {
  ASSERT_TRUE(StoreLastUpdateCheck(false));
  EXPECT_FALSE(DeleteUpdateState());
  EXPECT_TRUE(HasValue(L"LastUpdateCheck"));
}

TEST_F(UpdateStateTest, DeleteUpdateStateFailsWhenOnlyUpdateAttemptsWasThere) {
  ASSERT_TRUE(StoreUpdateAttempts(3));
  EXPECT_FALSE(DeleteUpdateState());
  EXPECT_FALSE(HasValue(L"UpdateAttempts"));
}

TEST_F(UpdateStateTest, DeleteLastUpdateCheckLeavesUpdateAttempts) {
  ASSERT_TRUE(StoreUpdateAttempts(2));
  ASSERT_TRUE(StoreLastUpdateCheck(false));
  EXPECT_TRUE(DeleteLastUpdateCheck());
  EXPECT_FALSE(DeleteLastUpdateCheck());
  EXPECT_EQ(2u, ValueOf<uint32_t>(L"UpdateAttempts", REG_DWORD));
}

TEST_F(UpdateStateTest, WritesNoLogLines) {
  LogCapture log(true);
  IsUpdateCheckDue();
  uint32_t count = 0;
  ReadUpdateAttempts(count);
  DeleteUpdateState();
  DeleteLastUpdateCheck();
  IncrementUpdateAttempts();
  StoreLastUpdateCheck(false);
  DeleteUpdateState();
  EXPECT_TRUE(log.Messages().empty());
}

// A 32-bit service on 64-bit Windows keeps its state in the 32-bit view
// (Wow6432Node). Only a 32-bit build running under WOW64 can show it.
TEST_F(UpdateStateTest, ValuesLiveInThe32BitViewUnderWow64) {
  if (IsWow64() == 0) GTEST_SKIP() << "needs a 32-bit process on 64-bit Windows";
  ScopedRegistryKey native(kStateKey, KEY_WOW64_64KEY);
  ASSERT_TRUE(StoreUpdateAttempts(5));
  std::string bytes;
  DWORD type = 0;
  EXPECT_TRUE(GetRegistryValue(L"SOFTWARE\\Wow6432Node\\Wendral\\PlumixPlayer", L"UpdateAttempts",
                               bytes, type, KEY_WOW64_64KEY));
  EXPECT_FALSE(GetRegistryValue(kStateKey, L"UpdateAttempts", bytes, type, KEY_WOW64_64KEY));
}

}  // namespace
