#include "store/served_links.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "store/atomic_file.h"
#include "store/store_layout.h"

namespace {

struct ServedEntry {
  const char* name;
  bool folder;  // what an earlier version of the tool wrote there
};
const ServedEntry kServedEntries[] = {{"pub", true}, {"release.json", false}};

bool Fail(std::string& error, const std::string& what) {
  error = what + ": " + std::strerror(errno);
  return false;
}

std::string LinkTarget(const char* entry) {
  return std::string(kStoreFolderName) + "/current/" + entry;
}

bool ReadLink(const std::string& path, std::string& target) {
  std::vector<char> text(4096);
  ssize_t length = readlink(path.c_str(), text.data(), text.size());
  if (length < 0 || static_cast<size_t>(length) >= text.size()) return false;
  target.assign(text.data(), static_cast<size_t>(length));
  return true;
}

enum class EntryState { Missing, OurLink, EarlierTree, Foreign };

EntryState StateOf(const std::string& dir, const ServedEntry& entry) {
  std::string path = dir + "/" + entry.name;
  struct stat status = {};
  if (lstat(path.c_str(), &status) != 0) return EntryState::Missing;
  std::string target;
  if (S_ISLNK(status.st_mode)) {
    return ReadLink(path, target) && target == LinkTarget(entry.name) ? EntryState::OurLink
                                                                      : EntryState::Foreign;
  }
  struct stat record = {};
  bool earlier = lstat((dir + "/release.json").c_str(), &record) == 0 && S_ISREG(record.st_mode) &&
                 (entry.folder ? S_ISDIR(status.st_mode) : S_ISREG(status.st_mode));
  return earlier ? EntryState::EarlierTree : EntryState::Foreign;
}

// Puts a new symbolic link to target at path in one rename: replacing what
// is there (exchange for a folder, whose old tree is then removed), or only
// where nothing is (RENAME_NOREPLACE).
bool PlaceLink(const std::string& dir, const std::string& target, const std::string& path,
               EntryState state, std::string& error) {
  std::string fresh = StoreFolder(dir) + "/" + path.substr(path.find_last_of('/') + 1) + ".new";
  if (symlink(target.c_str(), fresh.c_str()) != 0) return Fail(error, fresh);
  struct stat status = {};
  bool folder = state == EntryState::EarlierTree && lstat(path.c_str(), &status) == 0 &&
                S_ISDIR(status.st_mode);
  unsigned flags = state == EntryState::Missing ? RENAME_NOREPLACE : folder ? RENAME_EXCHANGE : 0;
  if (renameat2(AT_FDCWD, fresh.c_str(), AT_FDCWD, path.c_str(), flags) != 0) {
    Fail(error, path);
    unlink(fresh.c_str());
    return false;
  }
  std::error_code failure;
  if (folder) std::filesystem::remove_all(fresh, failure);
  if (failure) {
    error = fresh + ": removing the earlier tree: " + failure.message();
    return false;
  }
  return true;
}

}  // namespace

bool CheckServedLinks(const std::string& dir, std::string& error) {
  for (const ServedEntry& entry : kServedEntries) {
    if (StateOf(dir, entry) == EntryState::Foreign) {
      error = std::string(entry.name) +
              " is not what plumix-publish writes there; move it away, the release store "
              "serves this path through a link";
      return false;
    }
  }
  return true;
}

bool ServeRelease(const std::string& dir, const std::string& name, std::string& error) {
  struct stat status = {};
  EntryState current =
      lstat(CurrentLink(dir).c_str(), &status) == 0 ? EntryState::OurLink : EntryState::Missing;
  if (!PlaceLink(dir, "releases/" + name, CurrentLink(dir), current, error)) return false;
  if (!SyncFolder(StoreFolder(dir))) return Fail(error, StoreFolder(dir));
  for (const ServedEntry& entry : kServedEntries) {
    EntryState state = StateOf(dir, entry);
    if (state == EntryState::OurLink) continue;
    if (state == EntryState::Foreign) return CheckServedLinks(dir, error);
    if (!PlaceLink(dir, LinkTarget(entry.name), dir + "/" + entry.name, state, error)) {
      return false;
    }
  }
  if (!SyncFolder(dir)) return Fail(error, dir);
  return true;
}
