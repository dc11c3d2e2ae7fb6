#pragma once

#include <string>

// The packages made at test time by tests/packages/make_package_corpus.py
// (the package_corpus fixture) and the stand-in installer of the build.
// <case>.p7 is a package; <case>.content the content of an accepted one.
std::wstring CorpusFile(const std::string& fileName);
std::string ReadCorpusPackage(const std::string& caseName);
std::string ReadCorpusContent(const std::string& caseName);

// The unbranded stand-in installer executable.
std::wstring StandinInstallerPath();
