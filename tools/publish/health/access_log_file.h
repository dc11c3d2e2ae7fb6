#pragma once

#include <zlib.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Reads an access log line by line, plain or gzip-compressed (rotated logs;
// zlib tells the two apart by their first bytes), with one buffer whatever
// the file's size. A line longer than the buffer is handed on in pieces.
class AccessLogFile {
 public:
  // False with a one-line reason when the file cannot be opened.
  bool Open(const std::string& path, std::string& error);
  // The next line without its '\n'; valid until the next call. False at the
  // end of the file or on a read error (then Failed() is true).
  bool NextLine(std::string_view& line);
  // Whether reading stopped on an error (a damaged or cut-off gzip stream),
  // with the reason.
  bool Failed(std::string& error) const;

 private:
  struct GzCloser {
    void operator()(gzFile file) const { gzclose(file); }
  };
  bool Refill();

  std::string path_;
  std::unique_ptr<gzFile_s, GzCloser> file_;
  std::vector<char> buffer_;
  size_t begin_ = 0;
  size_t end_ = 0;
  bool ended_ = false;
  std::string error_;
};

// The files in the order of their first request's time, so that rotated
// logs given in any order are read oldest first; files without a readable
// request come last in the given order. False with the reason for a file
// that cannot be opened.
bool OrderLogFilesByTime(const std::vector<std::string>& paths, std::vector<std::string>& ordered,
                         std::string& error);
