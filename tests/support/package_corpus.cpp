#include "support/package_corpus.h"

#include "package_corpus_paths.h"
#include "support/test_files.h"

std::wstring CorpusFile(const std::string& fileName) {
  return std::wstring(kPackageCorpusFolder) + L"\\" + std::wstring(fileName.begin(), fileName.end());
}

std::string ReadCorpusPackage(const std::string& caseName) {
  return ReadFileBytes(CorpusFile(caseName + ".p7"));
}

std::string ReadCorpusContent(const std::string& caseName) {
  return ReadFileBytes(CorpusFile(caseName + ".content"));
}

std::wstring StandinInstallerPath() { return kStandinInstallerPath; }

std::string CorpusTestName(const std::string& caseName) {
  std::string name = caseName;
  for (char& c : name) {
    if (c == '-') c = '_';
  }
  return name;
}

std::string CorpusParamName(const testing::TestParamInfo<const char*>& info) {
  return CorpusTestName(info.param);
}
