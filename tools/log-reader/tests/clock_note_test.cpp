#include "clock_note.h"

#include <gtest/gtest.h>

#include <string>

#include "log_reader.h"

namespace {

const LogTimestamp kNow = {2026, 12, 8, 12, 0, 0, 0};

// The note for a log of these lines (ASCII, written in UTF-16LE as the
// service writes it), read with a filter that shows none of them: the note
// looks at every entry.
std::string NoteFor(const std::string& lines) {
  std::string log;
  for (char c : lines) log += {c, '\0'};
  ReaderOptions options;
  options.path = "PlumixInstall.log";
  options.filter.codes.push_back({9999, 9999});
  ReadSummary summary;
  std::string shown = ReadInstallLog(log, options, kNow, summary);
  EXPECT_EQ("", shown);
  return summary.clockNote;
}

TEST(ClockNoteTest, NamesTheLatestCheckDatedAfterTheClock) {
  const struct {
    const char* name;
    std::string lines;
    const char* count;  // null: no note at all
    const char* check;  // null: no check among the entries after the clock
  } cases[] = {
      {"all in the past", "2026-12-8+11-0-0.0 [info] 1608\r\n2026-12-8+11-0-1.0 [info] 1600\r\n",
       nullptr, nullptr},
      {"within the hour's tolerance", "2026-12-8+12-59-59.999 [info] 1600\r\n", nullptr, nullptr},
      {"a cycle that only refreshed the task",
       "2027-12-8+12-0-0.0 [info] 1608\r\n2027-12-8+12-0-0.5 [info] 1624\r\n"
       "2027-12-8+12-0-1.0 [info] 1612\r\n",
       "3 entries are dated more than an hour after this computer's clock, the latest at "
       "2027-12-08T12:00:01.000Z",
       nullptr},
      {"a verbose cycle that chose a package",
       "2026-12-9+12-0-0.0 [info] 1608\r\n2026-12-9+12-0-0.2 [info] 1600\r\n"
       "2026-12-9+12-0-3.0 [info] 1609\r\n2026-12-9+12-0-3.1 [info] 1612\r\n",
       "4 entries", "at 2026-12-09T12:00:00.002Z (event 1600)"},
      {"an errors-only log with a failed install", "2027-1-2+3-4-5.6 [error] 1234 12029\r\n",
       "1 entries", "at 2027-01-02T03:04:05.006Z (event 1234)"},
      {"the later of two checks",
       "2027-1-1+0-0-0.0 [error] 1301\r\n2027-1-3+0-0-0.0 [error] 1300 5\r\n"
       "2027-1-2+0-0-0.0 [info] 1612\r\n",
       "the latest at 2027-01-03T00:00:00.000Z", "(event 1300)"},
      {"a check before the clock, entries after it",
       "2026-12-8+11-0-0.0 [info] 1600\r\n2026-12-8+13-0-0.1 [info] 1608\r\n", "1 entries",
       nullptr},
      {"a line that is no entry", "2027-1-1+0-0-0.0 [fatal] 1600\r\n", nullptr, nullptr},
  };
  for (const auto& c : cases) {
    std::string note = NoteFor(c.lines);
    if (c.count == nullptr) {
      EXPECT_EQ("", note) << c.name;
      continue;
    }
    EXPECT_NE(std::string::npos, note.find(c.count)) << c.name << ": " << note;
    bool namesCheck = note.find("checked for updates") != std::string::npos;
    EXPECT_EQ(c.check != nullptr, namesCheck) << c.name << ": " << note;
    if (c.check != nullptr) {
      EXPECT_NE(std::string::npos, note.find(c.check)) << c.name << ": " << note;
    }
    EXPECT_NE(std::string::npos, note.find("-createDefaultTask (it stores 0)")) << c.name;
  }
}

TEST(ClockNoteTest, TellsTheRemedyInTwoLines) {
  EXPECT_EQ(
      "plumix-log-reader: 1 entries are dated more than an hour after this computer's clock, the "
      "latest at 2027-12-08T12:00:00.000Z: the clock was ahead when they were written.\n"
      "plumix-log-reader: the service checked for updates at 2027-12-08T12:00:00.000Z (event "
      "1301), stored that time as LastUpdateCheck and checks again only 24 hours after it. With "
      "the clock right, run the service's program with -createDefaultTask (it stores 0) so that "
      "its next start checks.\n",
      NoteFor("2027-12-8+12-0-0.0 [error] 1301\r\n"));
}

}  // namespace
