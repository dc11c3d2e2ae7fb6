#pragma once

#include <string>

#include "rollout/nginx_configuration.h"

struct NginxControl {
  std::string configuration;  // the main file (nginx -T -c FILE); "" for nginx's own
  std::string reloadCommand;  // run with /bin/sh -c
};

// Puts new generated nginx files in force, or none of them: each file is
// written atomically, the whole configuration is tested (nginx -T, which
// must also show that it includes the generated files), and only then is
// nginx reloaded. The previous files are kept in memory to be put back.
class NginxChange {
 public:
  NginxChange(std::string dir, NginxControl control);

  // Reads the files in force now. False, with the reason, when one exists
  // but cannot be read.
  bool ReadPrevious(std::string& error);

  // Writes files, tests, reloads. False, with one line per reason in error,
  // after putting the previous files back (and reloading them when the
  // reload had been reached), so the previous configuration stays in force.
  bool Apply(const NginxFiles& files, std::string& error);

  // Puts the previous files back and reloads: for a step after Apply that
  // failed. False, with the reason, when that failed too.
  bool Revert(std::string& error);

 private:
  bool WriteAll(const NginxFiles& files, const bool present[kNginxFileCount], std::string& error);
  bool TestConfiguration(std::string& error);
  bool Reload(std::string& error);

  std::string dir_;
  NginxControl control_;
  NginxFiles previous_;
  bool hadPrevious_[kNginxFileCount] = {};
};

// Writes the generated files where none are yet, so that nginx can be set
// up to include them before the first rollout (they serve everyone the
// current release). Nothing is tested or reloaded.
bool WriteInitialNginxFiles(const std::string& dir, const NginxFiles& files, std::string& error);
