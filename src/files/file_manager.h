#pragma once

#include <cstdint>
#include <memory>

#include "common/byte_string.h"
#include "files/string_vector.h"

namespace VUZI {

// The product's abstract interface to the file system. Every path that
// crosses it is a UTF-8 ByteString. The operations are declared in the order
// of the interface's slots.
class FileManager {
 public:
  virtual ~FileManager();

  // True when the path is gone (a missing path counts as deleted). A folder
  // goes with everything in it.
  virtual bool DeletePath(const ByteString& path) = 0;
  // Deletes the files of the tree whose age in seconds lies strictly between
  // the bounds, removes the subfolders this empties and the folder itself when
  // emptied. True when the walk completed.
  virtual bool DeleteFilesByAge(const ByteString& folder, uint64_t minimumAgeSeconds,
                                uint64_t maximumAgeSeconds) = 0;
  // Bytes in the file, or in all files under the folder; 0 for a missing path.
  virtual uint64_t GetPathSize(const ByteString& path) = 0;
  // Creates parent (every missing level) and then parent\name. True when
  // parent\name exists afterwards.
  virtual bool CreateSubfolder(const ByteString& parent, const ByteString& name) = 0;
  // The process-wide string "\".
  virtual const ByteString& GetPathSeparator() = 0;
  // Per-user plug-in folders, named but never created; cached per process.
  virtual const ByteString& GetAssetCacheFolder() = 0;
  virtual const ByteString& GetPlayerFolder() = 0;
  virtual const ByteString& GetPrivateDataFolder() = 0;
  // The folder's entry names in name order; null when the folder name cannot
  // be converted. A folder that cannot be enumerated gives an empty vector.
  virtual std::unique_ptr<StringVector> ListFolder(const ByteString& folder) = 0;
};

}  // namespace VUZI
