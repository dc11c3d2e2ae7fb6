#include "log_text.h"

#include <cstdint>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& text, char32_t point) {
  if (point < 0x80) {
    text += static_cast<char>(point);
  } else if (point < 0x800) {
    text += static_cast<char>(0xC0 | (point >> 6));
    text += static_cast<char>(0x80 | (point & 0x3F));
  } else if (point < 0x10000) {
    text += static_cast<char>(0xE0 | (point >> 12));
    text += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
    text += static_cast<char>(0x80 | (point & 0x3F));
  } else {
    text += static_cast<char>(0xF0 | (point >> 18));
    text += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
    text += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
    text += static_cast<char>(0x80 | (point & 0x3F));
  }
}

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The whole code units of the file; an odd last byte is reported as cut.
std::u16string CodeUnits(std::string_view bytes, bool& cut) {
  std::u16string units;
  units.reserve(bytes.size() / 2);
  for (std::size_t at = 0; at + 1 < bytes.size(); at += 2) {
    units += static_cast<char16_t>(static_cast<uint8_t>(bytes[at]) | (static_cast<uint8_t>(bytes[at + 1]) << 8));
  }
  cut = bytes.size() % 2 != 0;
  return units;
}

}  // namespace

std::vector<LogLine> SplitLogLines(std::string_view bytes) {
  bool cut = false;
  std::u16string units = CodeUnits(bytes, cut);
  if (!cut && !units.empty() && IsHighSurrogate(units.back())) {
    units.pop_back();
    cut = true;
  }
  std::vector<LogLine> lines;
  LogLine line;
  bool open = false;  // whether line holds anything since the last CR LF
  for (std::size_t at = 0; at < units.size(); ++at) {
    char16_t unit = units[at];
    if (unit == u'\r' && at + 1 < units.size() && units[at + 1] == u'\n') {
      lines.push_back(std::move(line));
      line = LogLine();
      open = false;
      ++at;
      continue;
    }
    open = true;
    if (IsHighSurrogate(unit) && at + 1 < units.size() && IsLowSurrogate(units[at + 1])) {
      AppendUtf8(line.text, 0x10000 + ((unit - 0xD800) << 10) + (units[at + 1] - 0xDC00));
      ++at;
    } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
      AppendUtf8(line.text, kReplacement);
    } else {
      AppendUtf8(line.text, unit);
    }
  }
  if (open || cut) {
    // A CR without its LF is the start of a line end that was cut off.
    if (!line.text.empty() && line.text.back() == '\r') line.text.pop_back();
    line.complete = false;
    lines.push_back(std::move(line));
  }
  return lines;
}
