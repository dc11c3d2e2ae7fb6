#pragma once

#include <cstdint>
#include <memory>

#include "common/byte_string.h"

// One key/value pair on the map's list.
struct SettingsEntry {
  ByteString key;
  ByteString value;
  uint32_t bucketIndex = 0;
  SettingsEntry* next = nullptr;
  SettingsEntry* previous = nullptr;
};

// A chained hash table of 16 buckets whose entries all lie on one doubly
// linked list, grouped by bucket in ascending bucket order, newest first
// within a group, and closed by a sentinel. It never grows or rehashes, so
// the list order (and with it the order of a saved file) follows from the
// keys' byte sums alone.
class SettingsMap {
 public:
  static constexpr uint32_t kBucketCount = 16;

  SettingsMap();
  ~SettingsMap();
  SettingsMap(const SettingsMap&) = delete;
  SettingsMap& operator=(const SettingsMap&) = delete;

  // Sum of the key's bytes modulo the bucket count.
  static uint32_t BucketOf(const ByteString& key);

  // The entry for key, or null. Walks only the key's bucket group.
  const SettingsEntry* Find(const ByteString& key) const;

  // Replaces the value of an existing key in place (it keeps its list place)
  // or inserts a new entry at the front of its bucket group.
  void Set(const ByteString& key, const ByteString& value);

  // First entry of the list; equal to End() when the map is empty.
  const SettingsEntry* Begin() const { return head_; }
  const SettingsEntry* End() const { return end_; }

 private:
  void Insert(const ByteString& key, const ByteString& value);
  void LinkBefore(SettingsEntry* entry, SettingsEntry* position);
  void LinkAfter(SettingsEntry* entry, SettingsEntry* position);

  std::unique_ptr<SettingsEntry> sentinel_;
  std::unique_ptr<SettingsEntry*[]> buckets_;
  SettingsEntry* end_;
  SettingsEntry* head_;
  uint32_t bucketCount_;
  uint32_t bucketLimit_;
};
