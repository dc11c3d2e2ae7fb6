#include "health/combined_log_line.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct ReadCase {
  const char* line;
  const char* address;
  int64_t time;
  const char* method;
  const char* path;
  int status;
  uint64_t bytes;
  const char* userAgent;
};

// Lines as nginx writes them (escape=default: '"', '\' and control bytes
// as \xHH) and as other writers of the format do.
const ReadCase kReadable[] = {
    {"127.0.0.6 - - [10/Dec/2026:04:33:33 +0000] \"GET "
     "/pub/plumixplayer/update/current/sau/11/xml/version.xml HTTP/1.1\" 200 214 \"-\" \"Get "
     "Plumix Player version xml/1.0\"",
     "127.0.0.6", 1796877213, "GET", "/pub/plumixplayer/update/current/sau/11/xml/version.xml",
     200, 214, "Get Plumix Player version xml/1.0"},
    // The local time's offset is taken away; a query is not part of the path.
    {"2001:db8::17 - alice [01/Jan/2027:01:00:00 +0130] \"GET /a/b.z?x=\\x22y HTTP/2.0\" 206 "
     "1048576 \"http://r.example/\" \"Download Plumix Player Installer/1.0\"",
     "2001:db8::17", 1798759800, "GET", "/a/b.z", 206, 1048576,
     "Download Plumix Player Installer/1.0"},
    {"10.0.0.1 - - [29/Feb/2028:23:59:59 -0700] \"HEAD / HTTP/1.0\" 304 0 \"-\" "
     "\"agent \\x22quoted\\x22 \\x5C\"\r",
     "10.0.0.1", 1835506799, "HEAD", "/", 304, 0, "agent \\x22quoted\\x22 \\x5C"},
    // Other writers escape a quote with a backslash; fields after the user
    // agent (an extended format) are ignored.
    {"10.0.0.2 - - [01/Mar/2027:00:00:00 +0000] \"GET /x HTTP/1.1\" 404 153 \"-\" "
     "\"say \\\"hi\\\"\" \"198.51.100.7\" rt=0.001",
     "10.0.0.2", 1803859200, "GET", "/x", 404, 153, "say \\\"hi\\\""},
    // A request line that is not one (TLS bytes on the plain port) still
    // reads, with no method or path.
    {"10.0.0.3 - - [01/Mar/2027:00:00:00 +0000] \"\\x16\\x03\\x01\\x02\" 400 157 \"-\" \"-\"",
     "10.0.0.3", 1803859200, "", "", 400, 157, "-"},
    {"10.0.0.4 - - [01/Mar/2027:00:00:00 +0000] \"-\" 400 0 \"-\" \"-\"", "10.0.0.4", 1803859200,
     "", "", 400, 0, "-"},
};

TEST(CombinedLogLine, ReadsTheFieldsOfCombinedLines) {
  for (const ReadCase& expected : kReadable) {
    SCOPED_TRACE(expected.line);
    LogRequest request;
    ASSERT_TRUE(ParseCombinedLine(expected.line, request));
    EXPECT_EQ(expected.address, request.address);
    EXPECT_EQ(expected.time, request.time);
    EXPECT_EQ(expected.method, request.method);
    EXPECT_EQ(expected.path, request.path);
    EXPECT_EQ(expected.status, request.status);
    EXPECT_EQ(expected.bytes, request.bytesSent);
    EXPECT_EQ(expected.userAgent, request.userAgent);
  }
}

TEST(CombinedLogLine, RefusesLinesOfOtherFormats) {
  const char* const kOthers[] = {
      "",
      // The common format: no referer and user agent.
      "10.0.0.1 - - [10/Dec/2026:04:33:33 +0000] \"GET / HTTP/1.1\" 200 5",
      // A JSON log line.
      "{\"scheme\":\"https\",\"path\":\"/\",\"user_agent\":\"x\",\"status\":200}",
      // An error log line.
      "2026/12/10 04:33:33 [error] 12#12: *1 open() \"/srv/x\" failed (2: No such file)",
      // Cut off inside the user agent.
      "10.0.0.1 - - [10/Dec/2026:04:33:33 +0000] \"GET / HTTP/1.1\" 200 5 \"-\" \"Get Plu",
      // Bytes sent not a number; a time in another form; a bad month.
      "10.0.0.1 - - [10/Dec/2026:04:33:33 +0000] \"GET / HTTP/1.1\" 200 - \"-\" \"a\"",
      "10.0.0.1 - - [2026-12-10T04:33:33Z] \"GET / HTTP/1.1\" 200 5 \"-\" \"a\"",
      "10.0.0.1 - - [10/Dek/2026:04:33:33 +0000] \"GET / HTTP/1.1\" 200 5 \"-\" \"a\"",
      // Something glued to the user agent's closing quote.
      "10.0.0.1 - - [10/Dec/2026:04:33:33 +0000] \"GET / HTTP/1.1\" 200 5 \"-\" \"a\"x",
  };
  for (const char* line : kOthers) {
    LogRequest request;
    EXPECT_FALSE(ParseCombinedLine(line, request)) << line;
  }
}

TEST(CombinedLogLine, ReadsLocalTimesAsUtc) {
  struct TimeCase {
    const char* text;
    int64_t time;
  };
  const TimeCase kTimes[] = {
      {"01/Jan/1970:00:00:00 +0000", 0},
      {"01/Jan/2000:05:30:00 +0530", 946684800},
      {"31/Dec/2099:23:59:59 +0000", 4102444799},
  };
  for (const TimeCase& expected : kTimes) {
    int64_t time = -1;
    EXPECT_TRUE(ParseLogTime(expected.text, time)) << expected.text;
    EXPECT_EQ(expected.time, time) << expected.text;
  }
  int64_t time = 0;
  EXPECT_FALSE(ParseLogTime("10/Oct/2000:13:55:36", time));
  EXPECT_FALSE(ParseLogTime("10/Oct/2000:25:55:36 +0000", time));
  EXPECT_FALSE(ParseLogTime("10/Oct/2000:13:55:36 0000 ", time));
}

}  // namespace
