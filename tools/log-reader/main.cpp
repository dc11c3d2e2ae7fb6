// plumix-log-reader: prints an install log of the update service readably.
// The file is read as bytes; on Windows the arguments arrive as UTF-16 and
// are passed on as UTF-8, and the console is switched to UTF-8 output.

#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "log_reader.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

bool ReadWholeFile(const std::string& path, std::string& bytes) {
#ifdef _WIN32
  int length = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
  if (length <= 0) return false;
  std::wstring widePath(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, &widePath[0], length);
  std::unique_ptr<std::FILE, FileCloser> file(_wfopen(widePath.c_str(), L"rb"));
#else
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
#endif
  if (!file) return false;
  char buffer[65536];
  std::size_t read;
  while ((read = std::fread(buffer, 1, sizeof(buffer), file.get())) > 0) bytes.append(buffer, read);
  return std::ferror(file.get()) == 0;
}

LogTimestamp NowUtc() {
  std::time_t seconds = std::time(nullptr);
  const std::tm* utc = std::gmtime(&seconds);
  return LogTimestamp{static_cast<unsigned>(utc->tm_year + 1900), static_cast<unsigned>(utc->tm_mon + 1),
                      static_cast<unsigned>(utc->tm_mday), static_cast<unsigned>(utc->tm_hour),
                      static_cast<unsigned>(utc->tm_min), static_cast<unsigned>(utc->tm_sec), 0};
}

int RunReader(const std::vector<std::string>& arguments) {
  ReaderOptions options;
  std::string error;
  if (!ParseReaderOptions(arguments, options, error)) {
    std::fprintf(stderr, "plumix-log-reader: %s\n%s", error.c_str(), kReaderUsage);
    return 2;
  }
  if (options.help) {
    std::fputs(kReaderUsage, stdout);
    return 0;
  }
  std::string bytes;
  if (!ReadWholeFile(options.path, bytes)) {
    std::fprintf(stderr, "plumix-log-reader: cannot read %s\n", options.path.c_str());
    return 1;
  }
  ReadSummary summary;
  std::string output = ReadInstallLog(bytes, options, NowUtc(), summary);
  std::fwrite(output.data(), 1, output.size(), stdout);
  if (summary.unparsedSkipped > 0) {
    std::fprintf(stderr, "plumix-log-reader: %lu line(s) not in the log's form were skipped\n",
                 static_cast<unsigned long>(summary.unparsedSkipped));
  }
  std::fflush(stdout);
  std::fputs(summary.clockNote.c_str(), stderr);
  return 0;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  SetConsoleOutputCP(CP_UTF8);
  std::vector<std::string> arguments;
  for (int index = 1; index < argc; ++index) {
    int length = WideCharToMultiByte(CP_UTF8, 0, argv[index], -1, nullptr, 0, nullptr, nullptr);
    std::string argument(length > 0 ? static_cast<std::size_t>(length) : 1, '\0');
    if (length > 0) WideCharToMultiByte(CP_UTF8, 0, argv[index], -1, &argument[0], length, nullptr, nullptr);
    argument.pop_back();  // the terminator
    arguments.push_back(argument);
  }
  return RunReader(arguments);
}
#else
int main(int argc, char** argv) { return RunReader(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
