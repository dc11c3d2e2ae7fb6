#pragma once

#include <cstdio>
#include <string>
#include <vector>

// The refusals and warnings of one run, each naming the file it is about.
class Findings {
 public:
  void Refuse(const std::string& file, const std::string& reason);
  // A warning whose text was given before (about another file) is dropped:
  // one certificate signs all four packages.
  void Warn(const std::string& file, const std::string& text);

  bool refused() const { return refusals_ > 0; }

  // One line each, in the order found: "FILE: reason" for a refusal,
  // "warning: FILE: text" for a warning.
  void Print(std::FILE* out) const;

 private:
  struct Finding {
    std::string file;
    std::string text;
    bool warning;
  };
  std::vector<Finding> findings_;
  int refusals_ = 0;
};
