#pragma once

#include <cstdint>

#include "common/byte_string.h"
#include "settings/settings_map.h"

// The administrator's settings file: lines of key "=" value, loaded into a
// SettingsMap, changed in memory and written back whole.
class SettingsFile {
 public:
  // What loading found at the start of the file.
  enum EncodingMark : int32_t { TooShort = -1, NoMark = 0, Utf8Mark = 1, Utf16Mark = 2 };

  // Loads the file at path (UTF-8). A missing, unreadable, too short (under
  // 4 bytes) or UTF-16 file leaves the store empty. Throws only bad_alloc.
  explicit SettingsFile(const ByteString& path);

  // The value for key, or the empty string. Refers to the stored text.
  const ByteString& Get(const ByteString& key) const;

  // Replaces the value of an existing key in place or adds a new entry.
  void Set(const ByteString& key, const ByteString& value);

  // Writes every entry as "key=value" CR LF in list order. The new text goes
  // to a temporary file in the same folder that replaces the file only when
  // it is complete, so a failed save leaves the old file as it was. False
  // when the path is empty or anything in writing or replacing fails.
  bool Save() const;

  const SettingsMap& map() const { return map_; }
  int32_t encodingMark() const { return encodingMark_; }

 private:
  void Load();
  void ParseLine(char* line);

  int32_t encodingMark_;
  SettingsMap map_;
  ByteString path_;
};

// Reads a setting as a boolean: true for a non-zero leading decimal number
// (as strtol reads it) or for "true", "t", "yes", "y" in any letter case.
bool ParseSettingBool(const ByteString& text);
