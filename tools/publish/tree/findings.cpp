#include "tree/findings.h"

void Findings::Refuse(const std::string& file, const std::string& reason) {
  findings_.push_back({file, reason, false});
  ++refusals_;
}

void Findings::Warn(const std::string& file, const std::string& text) {
  for (const Finding& finding : findings_) {
    if (finding.warning && finding.text == text) return;
  }
  findings_.push_back({file, text, true});
}

void Findings::Print(std::FILE* out) const {
  for (const Finding& finding : findings_) {
    std::fprintf(out, "%s%s: %s\n", finding.warning ? "warning: " : "", finding.file.c_str(),
                 finding.text.c_str());
  }
}
