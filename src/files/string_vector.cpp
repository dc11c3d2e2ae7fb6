#include "files/string_vector.h"

#include <algorithm>

#include "files/folder_name_order.h"

namespace SMImplementation {

PointerVector::PointerVector(uint32_t initialCapacity)
    : items_(new void*[initialCapacity]), count_(0), capacity_(initialCapacity) {}

PointerVector::~PointerVector() { delete[] items_; }

bool PointerVector::Append(const void* item) {
  if (count_ == capacity_) {
    uint32_t larger = capacity_ > 0 ? capacity_ * 2 : 1;
    void** grown = new void*[larger];
    std::copy(items_, items_ + count_, grown);
    delete[] items_;
    items_ = grown;
    capacity_ = larger;
  }
  items_[count_] = CloneItem(item);
  ++count_;
  return true;
}

}  // namespace SMImplementation

namespace VUZI {

StringVector::StringVector() : PointerVector(10) {}

StringVector::~StringVector() {
  for (uint32_t i = 0; i < count_; ++i) DestroyItem(items_[i]);
}

void StringVector::DestroyItem(void* item) { delete static_cast<ByteString*>(item); }

void* StringVector::CloneItem(const void* item) {
  return new ByteString(*static_cast<const ByteString*>(item));
}

void StringVector::SortByFolderNameOrder() {
  std::sort(items_, items_ + count_, [](const void* a, const void* b) {
    return CompareFolderNames(*static_cast<const ByteString*>(a),
                              *static_cast<const ByteString*>(b)) < 0;
  });
}

}  // namespace VUZI
