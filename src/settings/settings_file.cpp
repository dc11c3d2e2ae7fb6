#include "settings/settings_file.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "settings/settings_file_io.h"

namespace {

const ByteString& EmptyValue() {
  static const ByteString empty;
  return empty;
}

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<FILE, FileCloser>;

bool IsBlank(char c) {
  unsigned char byte = static_cast<unsigned char>(c);
  return byte >= 0x01 && byte <= 0x20;
}

// Trims blank bytes (0x01 to 0x20) from both ends of [begin, end).
ByteString Trimmed(const char* begin, const char* end) {
  while (begin < end && IsBlank(*begin)) ++begin;
  while (end > begin && IsBlank(end[-1])) --end;
  return ByteString(begin, static_cast<std::size_t>(end - begin));
}

// A line buffer that doubles from 1024 bytes so that the terminator always fits.
class LineBuffer {
 public:
  LineBuffer() : data_(new char[1024]), size_(1024), length_(0) {}
  void Append(char c) {
    if (length_ + 1 >= size_) Grow();
    data_[length_++] = c;
  }
  char* Terminated() {
    data_[length_] = '\0';
    return data_.get();
  }
  void Clear() { length_ = 0; }

 private:
  void Grow() {
    std::unique_ptr<char[]> bigger(new char[size_ * 2]);
    std::memcpy(bigger.get(), data_.get(), length_);
    data_.swap(bigger);
    size_ *= 2;
  }
  std::unique_ptr<char[]> data_;
  std::size_t size_;
  std::size_t length_;
};

bool WriteEntries(FILE* file, const SettingsMap& map) {
  for (const SettingsEntry* entry = map.Begin(); entry != map.End(); entry = entry->next) {
    const ByteString& key = entry->key;
    const ByteString& value = entry->value;
    if (std::fwrite(key.c_str(), 1, key.length(), file) != key.length() ||
        std::fputc('=', file) == EOF ||
        std::fwrite(value.c_str(), 1, value.length(), file) != value.length() ||
        std::fputs("\r\n", file) == EOF) {
      return false;
    }
  }
  return FlushFileToDisk(file) && std::ferror(file) == 0;
}

}  // namespace

SettingsFile::SettingsFile(const ByteString& path) : encodingMark_(NoMark), path_(path) { Load(); }

void SettingsFile::Load() {
  UniqueFile file(OpenFileUtf8(path_, "rb"));
  if (!file) return;
  unsigned char mark[4];
  if (std::fread(mark, 1, 4, file.get()) < 4) {
    encodingMark_ = TooShort;
    return;
  }
  long start = 0;
  if (mark[0] == 0xEF && mark[1] == 0xBB && mark[2] == 0xBF) {
    encodingMark_ = Utf8Mark;
    start = 3;
  } else if ((mark[0] == 0xFE && mark[1] == 0xFF) || (mark[0] == 0xFF && mark[1] == 0xFE)) {
    encodingMark_ = Utf16Mark;
    return;
  } else {
    encodingMark_ = NoMark;
  }
  if (std::fseek(file.get(), start, SEEK_SET) != 0) return;

  LineBuffer line;
  int c;
  while ((c = std::fgetc(file.get())) != EOF) {
    if (c == '\n' || c == '\r') {
      ParseLine(line.Terminated());
      line.Clear();
      if (c == '\r') {
        int following = std::fgetc(file.get());
        if (following != '\n' && following != EOF) std::ungetc(following, file.get());
      }
      continue;
    }
    line.Append(static_cast<char>(c));
  }
  ParseLine(line.Terminated());
}

void SettingsFile::ParseLine(char* line) {
  // A NUL byte inside the line ends it there.
  char* equals = std::strchr(line, '=');
  if (equals == nullptr) return;
  ByteString key = Trimmed(line, equals);
  ByteString value = Trimmed(equals + 1, equals + std::strlen(equals));
  if (key.empty() || value.empty()) return;
  map_.Set(key, value);
}

const ByteString& SettingsFile::Get(const ByteString& key) const {
  const SettingsEntry* entry = map_.Find(key);
  return entry != nullptr ? entry->value : EmptyValue();
}

void SettingsFile::Set(const ByteString& key, const ByteString& value) { map_.Set(key, value); }

bool SettingsFile::Save() const {
  if (path_.empty()) return false;
  ByteString tempPath;
  FILE* temp = CreateTempFileBeside(path_, tempPath);
  if (temp == nullptr) return false;
  bool written = WriteEntries(temp, map_);
  bool closed = std::fclose(temp) == 0;
  if (written && closed && ReplaceFileWith(tempPath, path_)) return true;
  RemoveFileUtf8(tempPath);
  return false;
}

bool ParseSettingBool(const ByteString& text) {
  std::string lower(text.c_str(), text.length());
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  long number = std::strtol(lower.c_str(), nullptr, 10);
  // strtol saturates at the long range; the setting saturates at 32 bits.
  if (number > INT32_MAX) number = INT32_MAX;
  if (number < INT32_MIN) number = INT32_MIN;
  if (number != 0) return true;
  return lower == "true" || lower == "t" || lower == "yes" || lower == "y";
}
