#include "log_entry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "log_text.h"

namespace {

// The bytes the service writes for text: UTF-16 code units, low byte first.
std::string Utf16Le(const std::u16string& text) {
  std::string bytes;
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

struct SplitCase {
  const char* name;
  std::string bytes;
  std::vector<LogLine> lines;
};

TEST(LogTextTest, SplitsAtCrLfAndMarksACutOffLastLine) {
  const SplitCase cases[] = {
      {"empty file", "", {}},
      {"two whole lines", Utf16Le(u"a\r\nb\r\n"), {{"a", true}, {"b", true}}},
      {"last line without CR LF", Utf16Le(u"a\r\nb"), {{"a", true}, {"b", false}}},
      {"cut between CR and LF", Utf16Le(u"a\r\nb\r"), {{"a", true}, {"b", false}}},
      {"cut inside a character", Utf16Le(u"a\r\nb") + "c", {{"a", true}, {"b", false}}},
      {"one odd byte", "c", {{"", false}}},
      {"cut inside a surrogate pair", Utf16Le(u"a\r\nx\xD83D"), {{"a", true}, {"x", false}}},
      {"lone CR and LF stay inside", Utf16Le(u"a\rb\nc\r\n"), {{"a\rb\nc", true}}},
      {"empty line", Utf16Le(u"\r\na\r\n"), {{"", true}, {"a", true}}},
      {"non-ASCII", Utf16Le(u"\u00e9\u20ac\r\n"), {{"\xC3\xA9\xE2\x82\xAC", true}}},
      {"surrogate pair", Utf16Le(u"\xD83D\xDE00\r\n"), {{"\xF0\x9F\x98\x80", true}}},
      {"unpaired surrogates", Utf16Le(u"\xDE00x\xD83Dy\r\n"), {{"\xEF\xBF\xBDx\xEF\xBF\xBDy", true}}},
  };
  for (const SplitCase& c : cases) {
    std::vector<LogLine> lines = SplitLogLines(c.bytes);
    ASSERT_EQ(lines.size(), c.lines.size()) << c.name;
    for (std::size_t index = 0; index < lines.size(); ++index) {
      EXPECT_EQ(lines[index].text, c.lines[index].text) << c.name << " line " << index;
      EXPECT_EQ(lines[index].complete, c.lines[index].complete) << c.name << " line " << index;
    }
  }
}

struct EntryCase {
  const char* line;
  bool parsed;
  LogLevel level;
  const char* message;
  bool hasCode;
  int32_t code;
  const char* values;
};

const EntryCase kEntries[] = {
    {"2026-12-8+21-5-3.7 [error] 1403 12029", true, LogLevel::Error, "1403 12029", true, 1403, "12029"},
    {"2026-12-8+21-5-3.7 [warning] 1214 -2147024891", true, LogLevel::Warning, "1214 -2147024891", true, 1214,
     "-2147024891"},
    {"2026-12-8+21-5-3.7 [info] 1608", true, LogLevel::Info, "1608", true, 1608, ""},
    {"2026-12-8+21-5-3.7 [info] 1628 a host with spaces", true, LogLevel::Info, "1628 a host with spaces", true,
     1628, "a host with spaces"},
    {"2026-12-8+21-5-3.7 [info] C:\\Windows\\System32\\x.exe", true, LogLevel::Info,
     "C:\\Windows\\System32\\x.exe", false, 0, ""},
    {"2026-12-8+21-5-3.7 [info] -createDefaultTask", true, LogLevel::Info, "-createDefaultTask", false, 0, ""},
    {"2026-12-8+21-5-3.7 [info] 16080", true, LogLevel::Info, "16080", false, 0, ""},
    {"2026-12-8+21-5-3.7 [info] 160", true, LogLevel::Info, "160", false, 0, ""},
    {"2026-12-8+21-5-3.7 [info] 1608x", true, LogLevel::Info, "1608x", false, 0, ""},
    {"2026-12-8+21-5-3.7 [info] ", true, LogLevel::Info, "", false, 0, ""},
    {"2026-12-8+21-5-3.7 [info] a [b] c", true, LogLevel::Info, "a [b] c", false, 0, ""},
    {"2026-12-8+21-5-3.7 [fatal] 1403 5", false, LogLevel::Info, "2026-12-8+21-5-3.7 [fatal] 1403 5", false, 0, ""},
    {"2026-12-8+21-5-3.7 [Error] 1403 5", false, LogLevel::Info, "2026-12-8+21-5-3.7 [Error] 1403 5", false, 0, ""},
    {"2026-12-8+21-5-3.7 [error]", false, LogLevel::Info, "2026-12-8+21-5-3.7 [error]", false, 0, ""},
    {"2026-12-08 21:05:03 [error] 1403", false, LogLevel::Info, "2026-12-08 21:05:03 [error] 1403", false, 0, ""},
    {"Installer started", false, LogLevel::Info, "Installer started", false, 0, ""},
    {"", false, LogLevel::Info, "", false, 0, ""},
};

TEST(LogEntryTest, TakesLinesApartIntoTimeLevelCodeAndValues) {
  for (const EntryCase& c : kEntries) {
    LogEntry entry = ParseLogEntry(LogLine{c.line, true});
    ASSERT_EQ(entry.parsed, c.parsed) << c.line;
    EXPECT_EQ(entry.message, c.message) << c.line;
    EXPECT_EQ(entry.hasCode, c.hasCode) << c.line;
    EXPECT_EQ(entry.values, c.values) << c.line;
    if (c.parsed) {
      EXPECT_EQ(entry.level, c.level) << c.line;
    }
    if (c.hasCode) {
      EXPECT_EQ(entry.code, c.code) << c.line;
    }
  }
}

TEST(LogEntryTest, KeepsTheTimeAndWhetherTheLineWasCutOff) {
  LogEntry entry = ParseLogEntry(LogLine{"2011-6-7+8-5-3.42 [error] 1403 120", false});
  ASSERT_TRUE(entry.parsed);
  EXPECT_FALSE(entry.complete);
  EXPECT_EQ(entry.time.hour, 8u);
  EXPECT_EQ(entry.time.milliseconds, 42u);
}

}  // namespace
