#pragma once

#include <cstddef>

// An owned, NUL-terminated 8-bit string in a heap block of length + 1 bytes.
// Where it holds a path it holds UTF-8. Equality is exact: bytes up to and
// including the terminator, case-sensitive, no trimming.
class ByteString {
 public:
  ByteString();
  // A null pointer makes the empty string.
  ByteString(const char* text);  // NOLINT: implicit from literals on purpose
  ByteString(const char* text, std::size_t length);
  ByteString(const ByteString& other);
  ~ByteString();

  // Frees the old text and stores a copy; self-assignment does nothing.
  ByteString& operator=(const ByteString& other);
  // Swaps: the source keeps a valid string.
  ByteString& operator=(ByteString&& other) noexcept;

  ByteString& Append(const char* text, std::size_t length);
  ByteString& Append(const ByteString& other);

  const char* c_str() const { return text_; }
  std::size_t length() const { return length_; }
  bool empty() const { return length_ == 0; }

  friend bool operator==(const ByteString& a, const ByteString& b);
  friend bool operator!=(const ByteString& a, const ByteString& b) { return !(a == b); }

 private:
  void Assign(const char* text, std::size_t length);

  char* text_;
  std::size_t length_;
};
