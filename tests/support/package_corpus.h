#pragma once

#include <string>

#include <gtest/gtest.h>

// The packages made at test time by tests/packages/make_package_corpus.py
// (the package_corpus fixture) and the stand-in installer of the build.
// <case>.p7 is a package; <case>.content the content of an accepted one.
std::wstring CorpusFile(const std::string& fileName);
std::string ReadCorpusPackage(const std::string& caseName);
std::string ReadCorpusContent(const std::string& caseName);

// The unbranded stand-in installer executable.
std::wstring StandinInstallerPath();

// A corpus case's name as a test name: "valid-sha1-direct" is
// valid_sha1_direct.
std::string CorpusTestName(const std::string& caseName);
// For test parameters that are corpus case names.
std::string CorpusParamName(const testing::TestParamInfo<const char*>& info);
