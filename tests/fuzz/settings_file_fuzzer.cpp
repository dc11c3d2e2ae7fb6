// libFuzzer target for the settings store: any bytes as the settings file
// are loaded, saved and loaded again (through in-memory files). Besides
// running clean under the sanitizers:
// - the loaded entries equal those of a small independent model of the file
//   format, sit on the list grouped by ascending bucket, and are found by Get;
// - the saved file holds exactly one "key=value" CR LF line per entry, in
//   list order;
// - the reloaded entries equal the model's reading of the saved bytes, and
//   equal the first load's entries unless the saved bytes begin with what
//   loading takes for a byte-order mark (a first key that begins with the
//   bytes EF BB BF, FE FF or FF FE);
// - every loaded value, repaired as the server domain is before it becomes
//   a host name, keeps its ASCII bytes in order, loses no length, and comes
//   back unchanged from a second repair (the result is well-formed UTF-8).
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

#include "common/utf8_repair.h"
#include "fuzz/memory_settings_io.h"
#include "settings/settings_file.h"

namespace {

using Entries = std::map<std::string, std::string>;

const char kPath[] = "/fuzz/ksm.cfg";

bool IsBlank(char c) { return c >= 0x01 && c <= 0x20; }

std::string Trim(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

bool BeginsWithMark(const std::string& bytes) {
  return StartsWith(bytes, "\xEF\xBB\xBF") || StartsWith(bytes, "\xFE\xFF") ||
         StartsWith(bytes, "\xFF\xFE");
}

void ModelLine(const std::string& body, size_t begin, size_t end, Entries& entries) {
  end =
      static_cast<size_t>(std::find(body.begin() + begin, body.begin() + end, '\0') - body.begin());
  size_t equals =
      static_cast<size_t>(std::find(body.begin() + begin, body.begin() + end, '=') - body.begin());
  if (equals == end) return;
  std::string key = Trim(body.substr(begin, equals - begin));
  std::string value = Trim(body.substr(equals + 1, end - equals - 1));
  if (!key.empty() && !value.empty()) entries[key] = value;
}

// The file format read straight from its description.
Entries ModelLoad(const std::string& bytes) {
  Entries entries;
  if (bytes.size() < 4 || StartsWith(bytes, "\xFE\xFF") || StartsWith(bytes, "\xFF\xFE"))
    return entries;
  const std::string body = StartsWith(bytes, "\xEF\xBB\xBF") ? bytes.substr(3) : bytes;
  size_t begin = 0;
  for (;;) {
    size_t end = body.find_first_of("\r\n", begin);
    ModelLine(body, begin, std::min(end, body.size()), entries);
    if (end == std::string::npos) break;
    begin = end + 1;
    if (body[end] == '\r' && begin < body.size() && body[begin] == '\n') ++begin;
  }
  return entries;
}

std::string Text(const ByteString& text) { return std::string(text.c_str(), text.length()); }

// The store's entries; aborts when the list breaks its own rules.
Entries CheckedEntries(const SettingsFile& settings) {
  Entries entries;
  uint32_t bucket = 0;
  const SettingsMap& map = settings.map();
  for (const SettingsEntry* entry = map.Begin(); entry != map.End(); entry = entry->next) {
    if (entry->bucketIndex != SettingsMap::BucketOf(entry->key) || entry->bucketIndex < bucket ||
        entry->next->previous != entry || settings.Get(entry->key) != entry->value ||
        !entries.emplace(Text(entry->key), Text(entry->value)).second) {
      std::abort();
    }
    bucket = entry->bucketIndex;
  }
  return entries;
}

std::string AsciiOf(const std::string& text) {
  std::string ascii;
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x80) ascii += c;
  }
  return ascii;
}

void CheckRepair(const Entries& entries) {
  for (const auto& entry : entries) {
    std::string repaired = RepairedUtf8(entry.second.c_str());
    if (AsciiOf(repaired) != AsciiOf(entry.second) || repaired.size() < entry.second.size() ||
        RepairedUtf8(repaired.c_str()) != repaired) {
      std::abort();
    }
  }
}

std::string ExpectedSave(const SettingsFile& settings) {
  std::string text;
  const SettingsMap& map = settings.map();
  for (const SettingsEntry* entry = map.Begin(); entry != map.End(); entry = entry->next) {
    text += Text(entry->key) + "=" + Text(entry->value) + "\r\n";
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ClearMemoryFiles();
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  SetMemoryFile(kPath, bytes);

  SettingsFile first{ByteString(kPath)};
  Entries loaded = CheckedEntries(first);
  if (loaded != ModelLoad(bytes)) std::abort();
  CheckRepair(loaded);
  if (!first.Save()) std::abort();
  std::string saved;
  if (!GetMemoryFile(kPath, saved) || saved != ExpectedSave(first)) std::abort();

  SettingsFile second{ByteString(kPath)};
  Entries reloaded = CheckedEntries(second);
  if (reloaded != ModelLoad(saved)) std::abort();
  if (!BeginsWithMark(saved) && reloaded != loaded) std::abort();
  ClearMemoryFiles();
  return 0;
}
