#include "health/access_log_file.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

class AccessLogFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/health-logs-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    folder_ = pattern;
  }
  void TearDown() override {
    for (const std::string& path : written_) std::remove(path.c_str());
    rmdir(folder_.c_str());
  }

  std::string WritePlain(const std::string& name, const std::string& text) {
    std::string path = folder_ + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    written_.push_back(path);
    return path;
  }

  // Each text a gzip member of its own, as concatenated rotations are.
  std::string WriteGzip(const std::string& name, const std::vector<std::string>& members) {
    std::string path = folder_ + "/" + name;
    std::remove(path.c_str());
    for (const std::string& text : members) {
      gzFile file = gzopen(path.c_str(), "ab");
      gzwrite(file, text.data(), static_cast<unsigned>(text.size()));
      gzclose(file);
    }
    written_.push_back(path);
    return path;
  }

  static std::vector<std::string> ReadLines(const std::string& path, std::string& error) {
    AccessLogFile file;
    std::vector<std::string> lines;
    if (!file.Open(path, error)) return lines;
    std::string_view line;
    while (file.NextLine(line)) lines.emplace_back(line);
    file.Failed(error);
    return lines;
  }

  std::string folder_;
  std::vector<std::string> written_;
};

std::string Line(int day, int hour) {
  char text[160];
  std::snprintf(text, sizeof text,
                "10.0.0.1 - - [%02d/Dec/2026:%02d:00:00 +0000] \"GET / HTTP/1.1\" 200 1 \"-\" "
                "\"a\"",
                day, hour);
  return text;
}

TEST_F(AccessLogFileTest, ReadsPlainAndGzipLogsTheSame) {
  std::string text = Line(1, 0) + "\n" + Line(1, 1) + "\r\n\n" + Line(1, 2);
  std::vector<std::string> expected = {Line(1, 0), Line(1, 1) + "\r", "", Line(1, 2)};
  // Two gzip members one after the other read as one log.
  for (const std::string& path :
       {WritePlain("access.log", text), WriteGzip("access.log.2.gz", {text}),
        WriteGzip("joined.gz", {text.substr(0, 30), text.substr(30)})}) {
    std::string error;
    EXPECT_EQ(expected, ReadLines(path, error)) << path;
    EXPECT_EQ("", error);
  }
}

TEST_F(AccessLogFileTest, ReadsAcrossBufferRefillsAndHandsOnAnOverlongLineInPieces) {
  std::string text;
  std::vector<std::string> expected;
  for (int index = 0; index < 40000; ++index) {
    expected.push_back(Line(1 + index % 28, index % 24) + " " + std::to_string(index));
    text += expected.back() + "\n";
  }
  ASSERT_GT(text.size(), 2u << 20);
  std::string huge(3u << 20, 'x');
  std::string error;
  std::vector<std::string> lines =
      ReadLines(WriteGzip("big.gz", {text + huge + "\nafter\n"}), error);
  EXPECT_EQ("", error);
  ASSERT_GE(lines.size(), expected.size() + 3);
  EXPECT_EQ(expected, std::vector<std::string>(lines.begin(), lines.begin() + expected.size()));
  EXPECT_EQ("after", lines.back());
  size_t total = 0;
  for (size_t index = expected.size(); index + 1 < lines.size(); ++index) {
    total += lines[index].size();
  }
  EXPECT_EQ(huge.size(), total);
}

TEST_F(AccessLogFileTest, ReportsACutOffGzipLogAndAMissingOneByName) {
  std::string text;
  for (int index = 0; index < 2000; ++index) text += Line(2, index % 24) + "\n";
  std::string path = WriteGzip("cut.gz", {text});
  std::ifstream in(path, std::ios::binary);
  std::string bytes(std::istreambuf_iterator<char>(in), {});
  WritePlain("cut.gz", bytes.substr(0, bytes.size() / 2));
  std::string error;
  ReadLines(path, error);
  EXPECT_NE(std::string::npos, error.find("cut.gz")) << error;
  AccessLogFile file;
  EXPECT_FALSE(file.Open(folder_ + "/absent.log", error));
  EXPECT_NE(std::string::npos, error.find("absent.log")) << error;
}

TEST_F(AccessLogFileTest, OrdersRotatedLogsByTheirFirstRequest) {
  std::string newest = WritePlain("access.log", Line(3, 0) + "\n");
  std::string middle = WriteGzip("access.log.1.gz", {"not a request\n" + Line(2, 0) + "\n"});
  std::string empty = WritePlain("other.log", "nothing here\n");
  std::string oldest = WriteGzip("access.log.2.gz", {Line(1, 0) + "\n" + Line(1, 5) + "\n"});
  std::vector<std::string> ordered;
  std::string error;
  ASSERT_TRUE(OrderLogFilesByTime({newest, empty, middle, oldest}, ordered, error)) << error;
  EXPECT_EQ((std::vector<std::string>{oldest, middle, newest, empty}), ordered);
}

}  // namespace
