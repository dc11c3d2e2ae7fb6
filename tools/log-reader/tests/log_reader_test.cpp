#include "log_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "entry_format.h"

namespace {

std::string Utf16Le(const std::string& ascii) {
  std::string bytes;
  for (char c : ascii) {
    bytes += c;
    bytes += '\0';
  }
  return bytes;
}

// A service run as it lands in the file, with a foreign line in the middle
// and the last line cut off in its error number.
const std::string kLog = Utf16Le(
    "2026-12-8+21-0-0.1 [info] 1608\r\n"
    "2026-12-8+21-0-1.2 [warning] 1403 12029\r\n"
    "2026-12-8+21-0-1.3 [warning] 1407 12029\r\n"
    "--- log copied from another machine ---\r\n"
    "2026-12-8+22-0-0.0 [error] 1214 12002\r\n"
    "2026-12-8+22-0-0.1 [info] 1612\r\n"
    "2026-12-8+22-0-5.0 [error] 1221 ");

// Later than every entry of kLog.
const LogTimestamp kNow = {2026, 12, 9, 0, 0, 0, 0};

std::vector<std::string> Lines(const std::string& output) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = output.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(output.substr(start, end - start));
  }
  EXPECT_EQ(start, output.size()) << "output must end with a line feed";
  return lines;
}

// The event codes (or marks) of the output's lines, in order.
std::vector<std::string> Shown(const std::vector<std::string>& arguments, ReadSummary& summary) {
  std::vector<std::string> withFile = arguments;
  withFile.push_back("PlumixInstall.log");
  ReaderOptions options;
  std::string error;
  EXPECT_TRUE(ParseReaderOptions(withFile, options, error)) << error;
  std::vector<std::string> shown;
  for (const std::string& line : Lines(ReadInstallLog(kLog, options, kNow, summary))) {
    bool unparsed = line.rfind(kUnparsedMark, 0) == 0;
    shown.push_back(unparsed ? "unparsed" : line.substr(35, 4));
  }
  return shown;
}

TEST(LogReaderTest, SelectsEntriesByLevelCodeAndTime) {
  const struct {
    std::vector<std::string> arguments;
    std::vector<std::string> shown;
    std::size_t filteredOut;
    std::size_t unparsedSkipped;
  } cases[] = {
      {{}, {"1608", "1403", "1407", "unparsed", "1214", "1612", "1221"}, 0, 0},
      {{"--skip-unparsed"}, {"1608", "1403", "1407", "1214", "1612", "1221"}, 0, 1},
      {{"--level", "warning"}, {"1403", "1407"}, 4, 1},
      {{"--min-level", "warning"}, {"1403", "1407", "1214", "1221"}, 2, 1},
      {{"--code", "1403"}, {"1403"}, 5, 1},
      {{"--code", "1400-1411", "--code", "1221"}, {"1403", "1407", "1221"}, 3, 1},
      {{"--from", "2026-12-08T21:00:01"}, {"1403", "1407", "1214", "1612", "1221"}, 1, 1},
      {{"--to", "2026-12-08T22:00"}, {"1608", "1403", "1407"}, 3, 1},
      {{"--from", "2026-12-08T21:00:01.003", "--to", "2026-12-08T22:00:00.001"}, {"1407", "1214"}, 4, 1},
      {{"--min-level", "error", "--from", "2026-12-08T22:00:01"}, {"1221"}, 5, 1},
  };
  for (const auto& c : cases) {
    std::string name;
    for (const std::string& argument : c.arguments) name += argument + " ";
    ReadSummary summary;
    EXPECT_EQ(Shown(c.arguments, summary), c.shown) << name;
    EXPECT_EQ(summary.shown, c.shown.size()) << name;
    EXPECT_EQ(summary.filteredOut, c.filteredOut) << name;
    EXPECT_EQ(summary.unparsedSkipped, c.unparsedSkipped) << name;
  }
}

TEST(LogReaderTest, MarksTheCutOffLastLine) {
  ReaderOptions options;
  options.path = "PlumixInstall.log";
  ReadSummary summary;
  std::vector<std::string> lines = Lines(ReadInstallLog(kLog, options, kNow, summary));
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines.back(),
            "2026-12-08T22:00:05.000Z  error    1221  OpenSCManagerW failed -- no error number  [line cut off]");
  for (std::size_t index = 0; index + 1 < lines.size(); ++index) {
    EXPECT_EQ(lines[index].find(kCutOffMark), std::string::npos) << lines[index];
  }
}

TEST(LogReaderTest, ReadsOptionsAndRefusesBadOnes) {
  const struct {
    std::vector<std::string> arguments;
    bool parses;
  } cases[] = {
      {{"log"}, true},
      {{"--help"}, true},
      {{"--level", "error", "--code", "1214,1217", "--from", "2026-12-08", "--to", "2026-12-09", "log"}, true},
      {{}, false},
      {{"a.log", "b.log"}, false},
      {{"--level", "fatal", "log"}, false},
      {{"--min-level", "Error", "log"}, false},
      {{"--code", "abc", "log"}, false},
      {{"--from", "8.12.2026", "log"}, false},
      {{"--to", "log"}, false},
      {{"log", "--to"}, false},
      {{"--verbose", "log"}, false},
  };
  for (const auto& c : cases) {
    ReaderOptions options;
    std::string error;
    EXPECT_EQ(ParseReaderOptions(c.arguments, options, error), c.parses) << error;
    EXPECT_EQ(error.empty(), c.parses) << error;
  }
}

}  // namespace
