#include "update/installed_version.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cwchar>
#include <ostream>
#include <string>

#include "settings/auto_update_policy.h"
#include "support/log_capture.h"
#include "support/registry_keys.h"

static bool operator==(const ProductVersion& a, const ProductVersion& b) {
  return a.major == b.major && a.minor == b.minor && a.buildMajor == b.buildMajor &&
         a.buildMinor == b.buildMinor;
}

static std::ostream& operator<<(std::ostream& out, const ProductVersion& v) {
  return out << v.major << '.' << v.minor << '.' << v.buildMajor << '.' << v.buildMinor;
}

namespace {

const wchar_t kActiveXKey[] = L"Software\\Wendral\\PlumixPlayerActiveX";
const wchar_t kPluginKey[] = L"Software\\Wendral\\PlumixPlayerPlugin";
const ProductVersion kNotInstalled = {0, 0, 0, 0};

VersionRecord Record(PluginVariant variant, uint32_t major = 10, uint32_t minor = 2,
                     uint32_t buildMajor = 154, uint32_t buildMinor = 25) {
  return VersionRecord{major, minor, buildMajor, buildMinor, variant};
}

class InstalledVersionTest : public testing::Test {
 protected:
  // Stores the text with its terminator, as installers write REG_SZ values.
  static void SetVersion(const wchar_t* key, const std::wstring& text, DWORD type = REG_SZ) {
    ASSERT_TRUE(SetRegistryValue(key, L"Version", type, text.c_str(),
                                 static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))));
  }
  // Stores exactly these bytes. The registry itself adds a terminator to a
  // string value when the unit after the given bytes is one, so the data for
  // an unterminated string must be followed by something else.
  static void SetVersionBytes(const wchar_t* key, DWORD type, const void* data, DWORD size) {
    ASSERT_TRUE(SetRegistryValue(key, L"Version", type, data, size));
    std::string stored;
    DWORD storedType = 0;
    ASSERT_TRUE(GetRegistryValue(key, L"Version", stored, storedType));
    ASSERT_EQ(size, stored.size());
    ASSERT_EQ(type, storedType);
  }
  static void SetDebugger(const wchar_t* key, DWORD flag) {
    ASSERT_TRUE(SetRegistryValue(key, L"isScriptDebugger", REG_DWORD, &flag, sizeof(flag)));
  }

  ScopedRegistryKey activeX_{kActiveXKey};
  ScopedRegistryKey plugin_{kPluginKey};
};

TEST_F(InstalledVersionTest, ParsesTheRegisteredVersionText) {
  struct Case {
    const wchar_t* text;
    ProductVersion version;
  } cases[] = {
      {L"10.2.154.25", {10, 2, 154, 25}},
      {L"10.2", {10, 2, 0, 0}},
      {L"10.2.154.25.1", {0, 0, 0, 0}},
      {L"10..154.25", {10, 0, 154, 25}},
      {L"10.2.", {10, 2, 0, 0}},
      {L"10.2.154.25.", {0, 0, 0, 0}},
      {L"10,2,154,25", {10, 0, 0, 0}},
      {L" 10.2.154.25", {10, 2, 154, 25}},
      {L"", {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SetVersion(kActiveXKey, c.text);
    EXPECT_EQ(c.version, ReadInstalledVersion(Record(PluginVariant::ActiveX)))
        << testing::PrintToString(c.text);
  }
}

TEST_F(InstalledVersionTest, EachVariantReadsItsOwnKey) {
  SetVersion(kActiveXKey, L"1.2.3.4");
  SetVersion(kPluginKey, L"5.6.7.8");
  EXPECT_EQ((ProductVersion{1, 2, 3, 4}), ReadInstalledVersion(Record(PluginVariant::ActiveX)));
  EXPECT_EQ((ProductVersion{5, 6, 7, 8}), ReadInstalledVersion(Record(PluginVariant::Plugin)));
}

TEST_F(InstalledVersionTest, UnknownVariantsAreNotInstalled) {
  SetVersion(kActiveXKey, L"1.2.3.4");
  SetVersion(kPluginKey, L"5.6.7.8");
  for (int32_t variant : {0, 3, -1}) {
    VersionRecord record = Record(static_cast<PluginVariant>(variant));
    EXPECT_EQ(kNotInstalled, ReadInstalledVersion(record)) << variant;
    EXPECT_FALSE(IsUpdateNeeded(record)) << variant;
  }
}

TEST_F(InstalledVersionTest, MissingKeyOrVersionIsNotInstalled) {
  EXPECT_EQ(kNotInstalled, ReadInstalledVersion(Record(PluginVariant::Plugin)));
  SetDebugger(kPluginKey, 0);
  EXPECT_EQ(kNotInstalled, ReadInstalledVersion(Record(PluginVariant::Plugin)));
  EXPECT_FALSE(IsUpdateNeeded(Record(PluginVariant::Plugin, 99)));
}

TEST_F(InstalledVersionTest, DebuggerBuildsAreNeverReplaced) {
  struct Case {
    const char* what;
    DWORD type;
    std::string flag;
    bool debugger;
  } cases[] = {
      {"1", REG_DWORD, std::string("\x01\x00\x00\x00", 4), true},
      {"0", REG_DWORD, std::string("\x00\x00\x00\x00", 4), false},
      {"0xFFFFFFFF", REG_DWORD, std::string("\xFF\xFF\xFF\xFF", 4), true},
      {"one byte", REG_BINARY, std::string("\x01", 1), true},
      {"high byte only", REG_DWORD, std::string("\x00\x00\x00\x80", 4), true},
      // Eight bytes do not fit the 4-byte read: the flag counts as unset.
      {"REG_QWORD 1", REG_QWORD, std::string("\x01\x00\x00\x00\x00\x00\x00\x00", 8), false},
  };
  SetVersion(kActiveXKey, L"10.0.0.1");
  const VersionRecord announced = Record(PluginVariant::ActiveX, 10, 2, 154, 25);
  for (const Case& c : cases) {
    ASSERT_TRUE(SetRegistryValue(kActiveXKey, L"isScriptDebugger", c.type, c.flag.data(),
                                 static_cast<DWORD>(c.flag.size())));
    EXPECT_EQ(c.debugger ? kNotInstalled : (ProductVersion{10, 0, 0, 1}),
              ReadInstalledVersion(announced))
        << c.what;
    EXPECT_EQ(!c.debugger, IsUpdateNeeded(announced)) << c.what;
  }
}

TEST_F(InstalledVersionTest, UpdateIsNeededOnlyForAnOlderInstalledVariant) {
  SetVersion(kPluginKey, L"10.2.154.25");
  struct Case {
    VersionRecord announced;
    bool needed;
  } cases[] = {
      {Record(PluginVariant::Plugin, 10, 2, 154, 25), false},
      {Record(PluginVariant::Plugin, 10, 2, 154, 26), true},
      {Record(PluginVariant::Plugin, 10, 1, 999, 999), false},
      {Record(PluginVariant::Plugin, 11, 0, 0, 0), true},
      {Record(PluginVariant::Plugin, 4294967295u, 0, 0, 0), true},
      // The ActiveX variant is not installed at all.
      {Record(PluginVariant::ActiveX, 99, 0, 0, 0), false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.needed, IsUpdateNeeded(c.announced))
        << c.announced.major << '.' << c.announced.minor << '.' << c.announced.buildMajor << '.'
        << c.announced.buildMinor << " variant " << static_cast<int>(c.announced.variant);
  }
}

TEST_F(InstalledVersionTest, AFiveNumberVersionIsNeverUpdated) {
  SetVersion(kActiveXKey, L"10.2.154.25.1");
  EXPECT_FALSE(IsUpdateNeeded(Record(PluginVariant::ActiveX, 99, 0, 0, 0)));
}

// The Version value is used only as a string terminated within the bytes the
// 1024-byte read returned; nothing beyond them is ever looked at.
TEST_F(InstalledVersionTest, VersionValuesThatAreNotTerminatedTextAreNotInstalled) {
  const VersionRecord record = Record(PluginVariant::ActiveX);
  std::wstring full(513, L'1');
  SetVersionBytes(kActiveXKey, REG_SZ, full.data(), 1024);  // 512 units, no terminator
  EXPECT_EQ(kNotInstalled, ReadInstalledVersion(record)) << "1024 bytes without a terminator";

  std::wstring longest = L"10.2.154." + std::wstring(501, L'0') + L"7";  // 511 units + terminator
  ASSERT_EQ(511u, longest.size());
  SetVersion(kActiveXKey, longest);
  EXPECT_EQ((ProductVersion{10, 2, 154, 7}), ReadInstalledVersion(record)) << "exactly 1024 bytes";

  SetVersion(kActiveXKey, longest + L"9");  // 1026 bytes: too long to read
  EXPECT_EQ(kNotInstalled, ReadInstalledVersion(record)) << "1026 bytes";

  SetVersionBytes(kActiveXKey, REG_SZ, L"1.23x", 8);
  EXPECT_EQ(kNotInstalled, ReadInstalledVersion(record)) << "short text without a terminator";

  SetVersionBytes(kActiveXKey, REG_SZ, L"1.2\0", 9);
  EXPECT_EQ((ProductVersion{1, 2, 0, 0}), ReadInstalledVersion(record)) << "odd byte count";

  const DWORD number = 0x31;  // reads as the text "1" when taken as UTF-16
  SetVersionBytes(kActiveXKey, REG_DWORD, &number, sizeof(number));
  EXPECT_EQ(kNotInstalled, ReadInstalledVersion(record)) << "REG_DWORD";

  SetVersionBytes(kActiveXKey, REG_BINARY, L"1.2.3.4", 16);
  EXPECT_EQ(kNotInstalled, ReadInstalledVersion(record)) << "REG_BINARY";

  SetVersionBytes(kActiveXKey, REG_MULTI_SZ, L"1.2.3.4\0", 18);
  EXPECT_EQ(kNotInstalled, ReadInstalledVersion(record)) << "REG_MULTI_SZ";

  SetVersion(kActiveXKey, L"1.2.3.4", REG_EXPAND_SZ);
  EXPECT_EQ((ProductVersion{1, 2, 3, 4}), ReadInstalledVersion(record)) << "REG_EXPAND_SZ";
}

TEST_F(InstalledVersionTest, WritesNoLogLines) {
  LogCapture log(true);
  SetVersion(kActiveXKey, L"1.2.3.4");
  ReadInstalledVersion(Record(PluginVariant::ActiveX));
  IsUpdateNeeded(Record(PluginVariant::ActiveX));
  IsUpdateNeeded(Record(PluginVariant::Plugin));
  EXPECT_TRUE(log.Messages().empty());
}

// The 32-bit service reads the 32-bit view (Wow6432Node) on 64-bit Windows.
// Only a 32-bit build running under WOW64 can show it.
TEST_F(InstalledVersionTest, ReadsThe32BitViewUnderWow64) {
  if (IsWow64() == 0) GTEST_SKIP() << "needs a 32-bit process on 64-bit Windows";
  ScopedRegistryKey native(kActiveXKey, KEY_WOW64_64KEY);
  const std::wstring text = L"1.2.3.4";
  const DWORD size = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
  ASSERT_TRUE(SetRegistryValue(kActiveXKey, L"Version", REG_SZ, text.c_str(), size, KEY_WOW64_64KEY));
  EXPECT_EQ(kNotInstalled, ReadInstalledVersion(Record(PluginVariant::ActiveX)));
  ASSERT_TRUE(SetRegistryValue(kActiveXKey, L"Version", REG_SZ, text.c_str(), size, KEY_WOW64_32KEY));
  EXPECT_EQ((ProductVersion{1, 2, 3, 4}), ReadInstalledVersion(Record(PluginVariant::ActiveX)));
}

}  // namespace
