#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Whether a message is the event code followed by one number, the Windows
// error number of a failure ("1282 -2147467263").
bool MatchesEvent(const std::wstring& message, int32_t event);

// Runs a test in a fresh working folder that holds Oskvar\Plumix, so that the
// install log written by the code under test lands in a file of the test's
// own. Verbose logging is switched on unless the test says otherwise.
class LogCapture {
 public:
  explicit LogCapture(bool verbose = true);
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  const std::wstring& folder() const { return folder_; }
  std::wstring LogPath() const;
  std::string RawBytes() const;
  // The log's lines without their CR LF.
  std::vector<std::wstring> Lines() const;
  // The message of each line: the text after "] ".
  std::vector<std::wstring> Messages() const;

 private:
  std::wstring previousDirectory_;
  std::wstring folder_;
};
