#pragma once

#include <cstdint>

#include "common/byte_string.h"

namespace SMImplementation {

// A growable array of owned pointers. Append stores a clone of the item; the
// derived class says how items are cloned and destroyed.
class PointerVector {
 public:
  explicit PointerVector(uint32_t initialCapacity);
  virtual ~PointerVector();  // frees the array, not the items
  PointerVector(const PointerVector&) = delete;
  PointerVector& operator=(const PointerVector&) = delete;

  virtual void DestroyItem(void* item) = 0;
  virtual void* CloneItem(const void* item) = 0;

  // Doubles the capacity when full, then stores CloneItem(item). The caller
  // keeps its own item.
  bool Append(const void* item);

  uint32_t count() const { return count_; }
  uint32_t capacity() const { return capacity_; }

 protected:
  void** items_;
  uint32_t count_;
  uint32_t capacity_;
};

}  // namespace SMImplementation

namespace VUZI {

// A vector of owned heap ByteStrings; destruction frees every one.
class StringVector : public SMImplementation::PointerVector {
 public:
  StringVector();
  ~StringVector() override;

  void DestroyItem(void* item) override;
  void* CloneItem(const void* item) override;

  bool Append(const ByteString& item) { return PointerVector::Append(&item); }
  const ByteString& At(uint32_t index) const { return *static_cast<const ByteString*>(items_[index]); }

  // Sorts the names in folder-name order (see folder_name_order.h).
  void SortByFolderNameOrder();
};

}  // namespace VUZI
