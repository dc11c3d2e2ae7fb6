#include "entry_filter.h"

#include "log_time.h"

namespace {

bool ParseCode(std::string_view text, int32_t& code) {
  if (text.empty() || text.size() > 4) return false;
  int32_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  code = value;
  return true;
}

bool ParseCodeRange(std::string_view text, CodeRange& range) {
  std::size_t dash = text.find('-');
  if (dash == std::string_view::npos) {
    if (!ParseCode(text, range.first)) return false;
    range.last = range.first;
    return true;
  }
  return ParseCode(text.substr(0, dash), range.first) && ParseCode(text.substr(dash + 1), range.last) &&
         range.first <= range.last;
}

bool CodeSelected(const LogEntry& entry, const std::vector<CodeRange>& codes) {
  if (codes.empty()) return true;
  if (!entry.hasCode) return false;
  for (const CodeRange& range : codes) {
    if (entry.code >= range.first && entry.code <= range.last) return true;
  }
  return false;
}

}  // namespace

bool EntryFilter::IsSet() const {
  return exactLevel || minimumLevel || !codes.empty() || from || to;
}

bool PassesFilter(const LogEntry& entry, const EntryFilter& filter) {
  if (!filter.IsSet()) return true;
  if (!entry.parsed) return false;
  if (filter.exactLevel && entry.level != *filter.exactLevel) return false;
  if (filter.minimumLevel && entry.level < *filter.minimumLevel) return false;
  if (filter.from && CompareLogTime(entry.time, *filter.from) < 0) return false;
  if (filter.to && CompareLogTime(entry.time, *filter.to) >= 0) return false;
  return CodeSelected(entry, filter.codes);
}

bool ParseCodeList(std::string_view text, std::vector<CodeRange>& codes) {
  std::vector<CodeRange> read;
  for (;;) {
    std::size_t comma = text.find(',');
    CodeRange range{};
    if (!ParseCodeRange(text.substr(0, comma), range)) return false;
    read.push_back(range);
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  codes.insert(codes.end(), read.begin(), read.end());
  return true;
}
