#pragma once

#include <string>

#include "store/descriptor.h"

// Refuses an output folder that the store cannot safely live in: a path
// ending in "." or ".." (which names another folder than it seems), or a
// symbolic link (name the folder it points to). Trailing slashes are fine.
// Errors of this file are reasons about DIR, naming any other path they
// concern.
bool CheckOutputFolderName(const std::string& dir, std::string& error);

// The release store of DIR opened for a change. While it is open no other
// plumix-publish command can change DIR (an advisory lock on the store's
// lock file, released when the process ends, however it ends), and what a
// killed command left in the store (staging folders, unfinished links and
// files) has been removed.
class StoreSession {
 public:
  StoreSession() = default;
  // Releases the lock. A store, and DIR, that this session made and that
  // received nothing are removed again, so a refused first release leaves
  // no trace.
  ~StoreSession();
  StoreSession(const StoreSession&) = delete;
  StoreSession& operator=(const StoreSession&) = delete;

  // Opens the store of dir, making DIR (with the mode the umask gives) and
  // the store when create is set and they are missing; DIR's parent must
  // exist. False, with one line in error: a store another command holds; no
  // store and create not set; a folder that cannot be made.
  bool Open(const std::string& dir, bool create, std::string& error);

  // Something was put in the store: keep it when the session ends.
  void KeepStore() { keep_ = true; }

  const std::string& dir() const { return dir_; }

 private:
  bool MakeFolder(const std::string& path, bool& made, std::string& error);
  bool Lock(std::string& error);

  std::string dir_;
  Descriptor lock_;
  bool madeDir_ = false;
  bool madeStore_ = false;
  bool keep_ = false;
};
