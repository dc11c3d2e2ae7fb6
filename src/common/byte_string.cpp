#include "common/byte_string.h"

#include <cstring>
#include <utility>

namespace {

char* CopyText(const char* text, std::size_t length) {
  char* copy = new char[length + 1];
  if (length > 0) std::memcpy(copy, text, length);
  copy[length] = '\0';
  return copy;
}

}  // namespace

ByteString::ByteString() : text_(CopyText("", 0)), length_(0) {}

ByteString::ByteString(const char* text)
    : ByteString(text, text != nullptr ? std::strlen(text) : 0) {}

ByteString::ByteString(const char* text, std::size_t length)
    : text_(CopyText(text != nullptr ? text : "", text != nullptr ? length : 0)),
      length_(text != nullptr ? length : 0) {}

ByteString::ByteString(const ByteString& other)
    : text_(CopyText(other.text_, other.length_)), length_(other.length_) {}

ByteString::~ByteString() { delete[] text_; }

ByteString& ByteString::operator=(const ByteString& other) {
  if (this != &other) Assign(other.text_, other.length_);
  return *this;
}

ByteString& ByteString::operator=(ByteString&& other) noexcept {
  std::swap(text_, other.text_);
  std::swap(length_, other.length_);
  return *this;
}

ByteString& ByteString::Append(const char* text, std::size_t length) {
  char* joined = new char[length_ + length + 1];
  std::memcpy(joined, text_, length_);
  if (length > 0) std::memcpy(joined + length_, text, length);
  joined[length_ + length] = '\0';
  delete[] text_;
  text_ = joined;
  length_ += length;
  return *this;
}

ByteString& ByteString::Append(const ByteString& other) {
  // Copy first: other may be this string.
  ByteString tail(other);
  return Append(tail.text_, tail.length_);
}

void ByteString::Assign(const char* text, std::size_t length) {
  char* copy = CopyText(text, length);
  delete[] text_;
  text_ = copy;
  length_ = length;
}

bool operator==(const ByteString& a, const ByteString& b) {
  return a.length_ == b.length_ && std::memcmp(a.text_, b.text_, a.length_) == 0;
}
