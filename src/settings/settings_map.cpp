#include "settings/settings_map.h"

SettingsMap::SettingsMap()
    : sentinel_(new SettingsEntry),
      buckets_(new SettingsEntry*[kBucketCount + 1]),
      end_(nullptr),
      head_(nullptr),
      bucketCount_(kBucketCount),
      bucketLimit_(kBucketCount) {
  sentinel_->bucketIndex = bucketCount_;
  end_ = sentinel_.get();
  head_ = end_;
  for (uint32_t i = 0; i < bucketCount_; ++i) buckets_[i] = nullptr;
  buckets_[bucketCount_] = end_;
}

SettingsMap::~SettingsMap() {
  SettingsEntry* entry = head_;
  while (entry != end_) {
    SettingsEntry* next = entry->next;
    delete entry;
    entry = next;
  }
}

uint32_t SettingsMap::BucketOf(const ByteString& key) {
  uint32_t sum = 0;
  for (const char* p = key.c_str(); *p != '\0'; ++p) sum += static_cast<unsigned char>(*p);
  return sum % kBucketCount;
}

const SettingsEntry* SettingsMap::Find(const ByteString& key) const {
  uint32_t bucket = BucketOf(key);
  for (const SettingsEntry* entry = buckets_[bucket];
       entry != nullptr && entry != end_ && entry->bucketIndex == bucket; entry = entry->next) {
    if (entry->key == key) return entry;
  }
  return nullptr;
}

void SettingsMap::Set(const ByteString& key, const ByteString& value) {
  for (SettingsEntry* entry = head_; entry != end_; entry = entry->next) {
    if (entry->key == key) {
      entry->value = value;
      return;
    }
  }
  Insert(key, value);
}

void SettingsMap::Insert(const ByteString& key, const ByteString& value) {
  std::unique_ptr<SettingsEntry> owned(new SettingsEntry);
  owned->key = key;
  owned->value = value;
  uint32_t bucket = BucketOf(key);
  owned->bucketIndex = bucket;
  SettingsEntry* entry = owned.release();

  if (buckets_[bucket] != nullptr) {
    LinkBefore(entry, buckets_[bucket]);
    buckets_[bucket] = entry;
    return;
  }
  buckets_[bucket] = entry;
  for (uint32_t lower = bucket; lower-- > 0;) {
    if (buckets_[lower] == nullptr) continue;
    SettingsEntry* last = buckets_[lower];
    while (last->next != end_ && last->next->bucketIndex == lower) last = last->next;
    LinkAfter(entry, last);
    return;
  }
  for (uint32_t higher = bucket + 1; higher < bucketLimit_; ++higher) {
    if (buckets_[higher] == nullptr) continue;
    LinkBefore(entry, buckets_[higher]);
    return;
  }
  LinkBefore(entry, end_);
}

void SettingsMap::LinkBefore(SettingsEntry* entry, SettingsEntry* position) {
  entry->next = position;
  entry->previous = position->previous;
  if (position->previous != nullptr) position->previous->next = entry;
  position->previous = entry;
  if (head_ == position) head_ = entry;
}

void SettingsMap::LinkAfter(SettingsEntry* entry, SettingsEntry* position) {
  entry->previous = position;
  entry->next = position->next;
  position->next->previous = entry;
  position->next = entry;
}
