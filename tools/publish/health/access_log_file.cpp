#include "health/access_log_file.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <utility>

#include "health/combined_log_line.h"

namespace {

constexpr size_t kBufferBytes = 1 << 20;
// Lines looked at for a file's first time before it is taken as timeless.
constexpr int kLinesForFirstTime = 1000;

}  // namespace

bool AccessLogFile::Open(const std::string& path, std::string& error) {
  path_ = path;
  file_.reset(gzopen(path.c_str(), "rb"));
  if (!file_) {
    error = path + ": " + std::strerror(errno ? errno : ENOMEM);
    return false;
  }
  gzbuffer(file_.get(), 256 * 1024);
  buffer_.assign(kBufferBytes, '\0');
  begin_ = end_ = 0;
  ended_ = false;
  error_.clear();
  return true;
}

// Moves the unread bytes to the front and reads more behind them.
bool AccessLogFile::Refill() {
  if (ended_) return false;
  std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
  end_ -= begin_;
  begin_ = 0;
  int read = gzread(file_.get(), buffer_.data() + end_, static_cast<unsigned>(buffer_.size() - end_));
  int code = Z_OK;
  const char* message = gzerror(file_.get(), &code);
  if (read < 0 || (code != Z_OK && code != Z_STREAM_END)) {
    error_ = path_ + ": " + (code == Z_ERRNO ? std::strerror(errno) : message);
    ended_ = true;
    return false;
  }
  if (read == 0) {
    ended_ = true;
    return false;
  }
  end_ += static_cast<size_t>(read);
  return true;
}

bool AccessLogFile::NextLine(std::string_view& line) {
  for (;;) {
    const char* start = buffer_.data() + begin_;
    const void* newline = std::memchr(start, '\n', end_ - begin_);
    if (newline != nullptr) {
      size_t length = static_cast<const char*>(newline) - start;
      line = std::string_view(start, length);
      begin_ += length + 1;
      return true;
    }
    bool full = begin_ == 0 && end_ == buffer_.size();
    if (full || (!Refill() && error_.empty() && end_ > begin_)) {
      // A line longer than the buffer, or a last line without '\n'.
      line = std::string_view(buffer_.data() + begin_, end_ - begin_);
      begin_ = end_;
      return true;
    }
    if (!error_.empty() || (ended_ && end_ == begin_)) return false;
  }
}

bool AccessLogFile::Failed(std::string& error) const {
  if (error_.empty()) return false;
  error = error_;
  return true;
}

bool OrderLogFilesByTime(const std::vector<std::string>& paths, std::vector<std::string>& ordered,
                         std::string& error) {
  std::vector<std::pair<int64_t, std::string>> timed;
  for (const std::string& path : paths) {
    AccessLogFile file;
    if (!file.Open(path, error)) return false;
    int64_t first = INT64_MAX;
    std::string_view line;
    LogRequest request;
    for (int count = 0; count < kLinesForFirstTime && file.NextLine(line); ++count) {
      if (ParseCombinedLine(line, request)) {
        first = request.time;
        break;
      }
    }
    timed.emplace_back(first, path);
  }
  std::stable_sort(timed.begin(), timed.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  ordered.clear();
  for (auto& entry : timed) ordered.push_back(std::move(entry.second));
  return true;
}
