#include "log_reader.h"

#include "clock_note.h"
#include "entry_format.h"
#include "log_entry.h"
#include "log_text.h"
#include "log_time.h"

const char kReaderUsage[] =
    "usage: plumix-log-reader [options] PlumixInstall.log\n"
    "Prints each line of the update service's install log with its time (UTC,\n"
    "ISO 8601), level, event code, meaning and values.\n"
    "  --level LEVEL       only entries of this level: info, warning or error\n"
    "  --min-level LEVEL   only entries of this level or a higher one\n"
    "  --code CODES        only these event codes: 1403, 1400-1411 or a comma-\n"
    "                      separated list of them; may be given more than once\n"
    "  --from TIME         only entries at or after TIME (UTC): 2026-12-08,\n"
    "                      2026-12-08T21:05, 2026-12-08T21:05:03.007Z\n"
    "  --to TIME           only entries before TIME\n"
    "  --skip-unparsed     count lines that are not log entries instead of\n"
    "                      printing them (always so when a filter is given)\n"
    "Entries dated more than an hour after this computer's clock are pointed\n"
    "out on the error output, with what a check made then means for the next.\n"
    "  --help              this text\n";

namespace {

// The option's value: the next argument.
bool TakeValue(const std::vector<std::string>& arguments, std::size_t& index, std::string& value,
               std::string& error) {
  if (index + 1 >= arguments.size()) {
    error = arguments[index] + " needs a value";
    return false;
  }
  value = arguments[++index];
  return true;
}

bool ApplyOption(const std::string& name, const std::string& value, ReaderOptions& options,
                 std::string& error) {
  EntryFilter& filter = options.filter;
  bool ok = true;
  if (name == "--level" || name == "--min-level") {
    LogLevel level{};
    ok = ParseLevelWord(value, level);
    (name == "--level" ? filter.exactLevel : filter.minimumLevel) = level;
  } else if (name == "--code") {
    ok = ParseCodeList(value, filter.codes);
  } else {
    LogTimestamp time{};
    ok = ParseIsoTime(value, time);
    (name == "--from" ? filter.from : filter.to) = time;
  }
  if (!ok) error = "bad value for " + name + ": " + value;
  return ok;
}

bool TakesValue(const std::string& argument) {
  return argument == "--level" || argument == "--min-level" || argument == "--code" ||
         argument == "--from" || argument == "--to";
}

}  // namespace

bool ParseReaderOptions(const std::vector<std::string>& arguments, ReaderOptions& options,
                        std::string& error) {
  ReaderOptions read;
  bool havePath = false;
  for (std::size_t index = 0; index < arguments.size(); ++index) {
    const std::string& argument = arguments[index];
    std::string value;
    if (argument == "--help" || argument == "-h") {
      read.help = true;
    } else if (argument == "--skip-unparsed") {
      read.skipUnparsed = true;
    } else if (TakesValue(argument)) {
      if (!TakeValue(arguments, index, value, error) || !ApplyOption(argument, value, read, error)) {
        return false;
      }
    } else if (argument.size() > 1 && argument[0] == '-') {
      error = "unknown option " + argument;
      return false;
    } else if (havePath) {
      error = "only one log file can be read at a time";
      return false;
    } else {
      read.path = argument;
      havePath = true;
    }
  }
  if (!havePath && !read.help) {
    error = "no log file given";
    return false;
  }
  options = read;
  return true;
}

std::string ReadInstallLog(std::string_view bytes, const ReaderOptions& options,
                           const LogTimestamp& now, ReadSummary& summary) {
  summary = ReadSummary();
  bool showUnparsed = !options.skipUnparsed && !options.filter.IsSet();
  FutureEntries future(now);
  std::string output;
  for (const LogLine& line : SplitLogLines(bytes)) {
    LogEntry entry = ParseLogEntry(line);
    future.Add(entry);
    if (!entry.parsed && !showUnparsed) {
      ++summary.unparsedSkipped;
      continue;
    }
    if (!PassesFilter(entry, options.filter)) {
      ++summary.filteredOut;
      continue;
    }
    output += FormatEntry(entry);
    output += '\n';
    ++summary.shown;
  }
  summary.clockNote = future.Note();
  return output;
}
