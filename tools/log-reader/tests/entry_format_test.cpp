#include "entry_format.h"

#include <gtest/gtest.h>

#include <string>

#include "log_entry.h"

namespace {

struct FormatCase {
  const char* line;
  bool complete;
  const char* shown;
};

const FormatCase kFormats[] = {
    {"2026-12-8+21-5-3.7 [warning] 1403 12029", true,
     "2026-12-08T21:05:03.007Z  warning  1403  the request was not sent (it failed, or there was no request)"
     " -- error 12029 = 0x00002EFD ERROR_WINHTTP_CANNOT_CONNECT"},
    {"2026-12-8+21-5-3.7 [error] 1217 -2146889721", true,
     "2026-12-08T21:05:03.007Z  error    1217  the package was not accepted by VerifyAndExtract, or there were "
     "no package bytes -- error -2146889721 = 0x80091007 CRYPT_E_HASH_VALUE"},
    {"2011-6-7+8-5-3.42 [error] 1223 1056", true,
     "2011-06-07T08:05:03.042Z  error    1223  StartServiceA failed"
     " -- error 1056 = 0x00000420 ERROR_SERVICE_ALREADY_RUNNING"},
    {"2011-6-7+8-5-3.42 [error] 1214 424242", true,
     "2011-06-07T08:05:03.042Z  error    1214  opening the session, connecting, opening the request, sending it "
     "or receiving the response failed -- error 424242 = 0x00067932"},
    {"2011-6-7+8-5-3.42 [error] 1214", true,
     "2011-06-07T08:05:03.042Z  error    1214  opening the session, connecting, opening the request, sending it "
     "or receiving the response failed -- no error number"},
    {"2011-6-7+8-5-3.42 [error] 1214 12x", true,
     "2011-06-07T08:05:03.042Z  error    1214  opening the session, connecting, opening the request, sending it "
     "or receiving the response failed -- error number \"12x\" (not a number)"},
    {"2011-6-7+8-5-3.42 [error] 1214 2147483648", true,
     "2011-06-07T08:05:03.042Z  error    1214  opening the session, connecting, opening the request, sending it "
     "or receiving the response failed -- error number \"2147483648\" (not a number)"},
    {"2011-6-7+8-5-3.42 [info] 1622 1", true,
     "2011-06-07T08:05:03.042Z  info     1622  a control code arrived -- control code 1 SERVICE_CONTROL_STOP"},
    {"2011-6-7+8-5-3.42 [info] 1622 128", true,
     "2011-06-07T08:05:03.042Z  info     1622  a control code arrived -- control code 128"},
    {"2011-6-7+8-5-3.42 [info] 1629 updates.example.test", true,
     "2011-06-07T08:05:03.042Z  info     1629  ManifestHost set from the server domain"
     " -- host \"updates.example.test\""},
    {"2011-6-7+8-5-3.42 [info] 1608", true, "2011-06-07T08:05:03.042Z  info     1608  cycle begins"},
    {"2011-6-7+8-5-3.42 [info] 1608 surprise", true,
     "2011-06-07T08:05:03.042Z  info     1608  cycle begins -- unexpected values \"surprise\""},
    {"2011-6-7+8-5-3.42 [error] 1202 5", true,
     "2011-06-07T08:05:03.042Z  error    1202  unknown event -- values \"5\""},
    {"2011-6-7+8-5-3.42 [info] C:\\Windows\\System32\\x.exe", true,
     "2011-06-07T08:05:03.042Z  info     ----  message without an event code: \"C:\\Windows\\System32\\x.exe\""},
    {"2011-6-7+8-5-3.42 [error] 1403 120", false,
     "2011-06-07T08:05:03.042Z  error    1403  the request was not sent (it failed, or there was no request)"
     " -- error 120 = 0x00000078  [line cut off]"},
    {"2011-6-7+8-5-3.42 [err", false, "unparsed: 2011-6-7+8-5-3.42 [err  [line cut off]"},
    {"Installer\tstarted\x1b", true, "unparsed: Installer\\x09started\\x1B"},
};

TEST(EntryFormatTest, ShowsTimeLevelCodeMeaningAndValues) {
  for (const FormatCase& c : kFormats) {
    EXPECT_EQ(FormatEntry(ParseLogEntry(LogLine{c.line, c.complete})), c.shown) << c.line;
  }
}

}  // namespace
