#include "entry_format.h"

#include <cstdio>
#include <cstdlib>
#include <limits>

#include "error_names.h"
#include "event_catalog.h"
#include "log_time.h"

const char kUnparsedMark[] = "unparsed:";
const char kUnknownEventMark[] = "unknown event";
const char kCutOffMark[] = "[line cut off]";

namespace {

// A whole signed decimal number as the log writes it (ToDecimalString).
bool ParseSignedDecimal(const std::string& text, int64_t& value) {
  if (text.empty()) return false;
  std::size_t digitsFrom = text[0] == '-' ? 1 : 0;
  if (digitsFrom == text.size() || text.size() - digitsFrom > 10) return false;
  for (std::size_t at = digitsFrom; at < text.size(); ++at) {
    if (text[at] < '0' || text[at] > '9') return false;
  }
  value = std::strtoll(text.c_str(), nullptr, 10);
  return true;
}

bool ParseInt32(const std::string& text, int32_t& value) {
  int64_t wide = 0;
  if (!ParseSignedDecimal(text, wide) || wide < std::numeric_limits<int32_t>::min() ||
      wide > std::numeric_limits<int32_t>::max()) {
    return false;
  }
  value = static_cast<int32_t>(wide);
  return true;
}

std::string Quoted(const std::string& text) { return "\"" + Printable(text) + "\""; }

std::string DescribeError(const std::string& values) {
  if (values.empty()) return " -- no error number";
  int32_t number = 0;
  if (!ParseInt32(values, number)) return " -- error number " + Quoted(values) + " (not a number)";
  return " -- error " + DescribeErrorNumber(number);
}

std::string DescribeControl(const std::string& values) {
  int32_t control = 0;
  if (!ParseInt32(values, control)) return " -- control code " + Quoted(values) + " (not a number)";
  std::string text = " -- control code " + values;
  if (const char* name = ServiceControlName(static_cast<uint32_t>(control))) text += std::string(" ") + name;
  return text;
}

std::string LevelColumn(LogLevel level) {
  std::wstring word = LogLevelWord(level);
  std::string text(word.begin(), word.end());
  text.resize(7, ' ');
  return text;
}

std::string CodeAndMeaning(const LogEntry& entry) {
  if (!entry.hasCode) return "----  message without an event code: " + Quoted(entry.message);
  char code[8];
  std::snprintf(code, sizeof(code), "%04d", static_cast<int>(entry.code));
  const EventDescription* event = FindEvent(entry.code);
  return std::string(code) + "  " + (event != nullptr ? event->meaning : kUnknownEventMark) +
         DescribeValues(entry);
}

}  // namespace

std::string Printable(std::string_view text) {
  std::string shown;
  shown.reserve(text.size());
  for (char c : text) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof(escaped), "\\x%02X", byte);
      shown += escaped;
    } else {
      shown += c;
    }
  }
  return shown;
}

std::string DescribeValues(const LogEntry& entry) {
  const EventDescription* event = FindEvent(entry.code);
  if (event == nullptr) return entry.values.empty() ? "" : " -- values " + Quoted(entry.values);
  switch (event->value) {
    case EventValue::ErrorNumber:
      return DescribeError(entry.values);
    case EventValue::ControlCode:
      return DescribeControl(entry.values);
    case EventValue::HostName:
      return " -- host " + Quoted(entry.values);
    case EventValue::None:
      break;
  }
  return entry.values.empty() ? "" : " -- unexpected values " + Quoted(entry.values);
}

std::string FormatEntry(const LogEntry& entry) {
  std::string line;
  if (entry.parsed) {
    line = FormatIsoTime(entry.time) + "  " + LevelColumn(entry.level) + "  " + CodeAndMeaning(entry);
  } else {
    line = std::string(kUnparsedMark) + " " + Printable(entry.message);
  }
  if (!entry.complete) line += std::string("  ") + kCutOffMark;
  return line;
}
