#include "settings/settings_file.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/settings_folder_test.h"

namespace fs = std::filesystem;

namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

class SettingsFileTest : public SettingsFolderTest {
 protected:
  Entries EntriesOf(const SettingsFile& file) const {
    Entries entries;
    for (const SettingsEntry* e = file.map().Begin(); e != file.map().End(); e = e->next) {
      entries.emplace_back(e->key.c_str(), e->value.c_str());
    }
    return entries;
  }
};

}  // namespace

TEST_F(SettingsFileTest, MissingFileLoadsEmpty) {
  SettingsFile file(Path());
  EXPECT_EQ(file.map().Begin(), file.map().End());
  EXPECT_STREQ("", file.Get("SilentAutoUpdateEnable").c_str());
}

TEST_F(SettingsFileTest, TrimsBlanksAroundKeyAndValue) {
  Write(" \t SilentAutoUpdateEnable \x01 =  1 \x20\r\n");
  SettingsFile file(Path());
  EXPECT_STREQ("1", file.Get("SilentAutoUpdateEnable").c_str());
  EXPECT_EQ((Entries{{"SilentAutoUpdateEnable", "1"}}), EntriesOf(file));
}

TEST_F(SettingsFileTest, KeepsBlanksInsideTheValue) {
  Write("Name = two  words \n");
  EXPECT_STREQ("two  words", SettingsFile(Path()).Get("Name").c_str());
}

TEST_F(SettingsFileTest, LastOccurrenceWinsButKeepsTheFirstPlace) {
  Write("AutoUpdateDisable=1\nSilentAutoUpdateEnable=1\nAutoUpdateDisable=0\n");
  SettingsFile file(Path());
  EXPECT_STREQ("0", file.Get("AutoUpdateDisable").c_str());
  EXPECT_EQ((Entries{{"AutoUpdateDisable", "0"}, {"SilentAutoUpdateEnable", "1"}}), EntriesOf(file));
}

TEST_F(SettingsFileTest, KeysAreCaseSensitive) {
  Write("autoupdatedisable=1\n");
  SettingsFile file(Path());
  EXPECT_STREQ("", file.Get("AutoUpdateDisable").c_str());
  EXPECT_STREQ("1", file.Get("autoupdatedisable").c_str());
}

TEST_F(SettingsFileTest, IgnoresLinesWithoutKeyValueOrEquals) {
  Write("Empty=\n=value\n  =  \n# a comment\n\n#Hash=kept\nA=b=c\n");
  SettingsFile file(Path());
  // "A" lies in bucket 1, "#Hash" in bucket 7.
  EXPECT_EQ((Entries{{"A", "b=c"}, {"#Hash", "kept"}}), EntriesOf(file));
}

TEST_F(SettingsFileTest, KeepsNonAsciiBytesOfValues) {
  Write("Name=\xC3\xA9t\xC3\xA9\n");
  EXPECT_STREQ("\xC3\xA9t\xC3\xA9", SettingsFile(Path()).Get("Name").c_str());
}

TEST_F(SettingsFileTest, LineEndsCrLfLfAndCrReadAlike) {
  for (const char* text : {"A=1\r\nB=2\r\n", "A=1\nB=2\n", "A=1\rB=2\r", "A=1\r\n\r\nB=2"}) {
    Write(text);
    SettingsFile file(Path());
    EXPECT_STREQ("1", file.Get("A").c_str()) << text;
    EXPECT_STREQ("2", file.Get("B").c_str()) << text;
  }
}

TEST_F(SettingsFileTest, ThreeByteFileIsNotParsedFourByteFileIs) {
  Write("a=b");
  SettingsFile shortFile(Path());
  EXPECT_EQ(SettingsFile::TooShort, shortFile.encodingMark());
  EXPECT_STREQ("", shortFile.Get("a").c_str());
  Write("a=b\n");
  SettingsFile fourBytes(Path());
  EXPECT_EQ(SettingsFile::NoMark, fourBytes.encodingMark());
  EXPECT_STREQ("b", fourBytes.Get("a").c_str());
}

TEST_F(SettingsFileTest, Utf8MarkIsSkippedAndNotWrittenBack) {
  Write("\xEF\xBB\xBFKey=v\r\n");
  SettingsFile file(Path());
  EXPECT_EQ(SettingsFile::Utf8Mark, file.encodingMark());
  EXPECT_STREQ("v", file.Get("Key").c_str());
  ASSERT_TRUE(file.Save());
  EXPECT_EQ("Key=v\r\n", Read());
}

TEST_F(SettingsFileTest, Utf16FileLoadsEmptyAndSavesAsEightBitText) {
  for (std::string mark : {std::string("\xFF\xFE"), std::string("\xFE\xFF")}) {
    Write(mark + std::string("K\0e\0y\0=\0v\0", 10));
    SettingsFile file(Path());
    EXPECT_EQ(SettingsFile::Utf16Mark, file.encodingMark());
    EXPECT_EQ(file.map().Begin(), file.map().End());
    file.Set("AutoUpdateDisable", "0");
    file.Set("SilentAutoUpdateEnable", "1");
    ASSERT_TRUE(file.Save());
    EXPECT_EQ("AutoUpdateDisable=0\r\nSilentAutoUpdateEnable=1\r\n", Read());
  }
}

TEST_F(SettingsFileTest, ReadsAFiveThousandByteLineWhole) {
  std::string value(5000, 'x');
  Write("Long=" + value + "\n");
  EXPECT_EQ(value, SettingsFile(Path()).Get("Long").c_str());
}

TEST_F(SettingsFileTest, NulByteHidesTheRestOfItsLine) {
  Write(std::string("Key=ab\0cd\nNext=1\n", 17));
  SettingsFile file(Path());
  EXPECT_STREQ("ab", file.Get("Key").c_str());
  EXPECT_STREQ("1", file.Get("Next").c_str());
}

TEST_F(SettingsFileTest, RewritesTheFourKeysInBucketOrder) {
  Write("SilentAutoUpdateServerDomain=updates.example\n"
        "SilentAutoUpdateVerboseLogging=1\n"
        "SilentAutoUpdateEnable=1\n"
        "AutoUpdateDisable=0\n");
  SettingsFile file(Path());
  ASSERT_TRUE(file.Save());
  EXPECT_EQ("AutoUpdateDisable=0\r\n"
            "SilentAutoUpdateEnable=1\r\n"
            "SilentAutoUpdateVerboseLogging=1\r\n"
            "SilentAutoUpdateServerDomain=updates.example\r\n",
            Read());
}

TEST_F(SettingsFileTest, ListOrderFollowsBucketsAndNewestFirstWithinABucket) {
  // Bytes sums: "a" 97 -> bucket 1, "q" 113 -> 1, "b" 98 -> 2, "p" 112 -> 0,
  // "o" 111 -> 15.
  Write("b=1\na=1\nq=1\no=1\np=1\n");
  SettingsFile file(Path());
  EXPECT_EQ((Entries{{"p", "1"}, {"q", "1"}, {"a", "1"}, {"b", "1"}, {"o", "1"}}), EntriesOf(file));
}

TEST_F(SettingsFileTest, SetReplacesInPlaceAndInsertsNewKeys) {
  Write("b=1\no=1\n");
  SettingsFile file(Path());
  file.Set("b", "2");
  file.Set("p", "3");
  EXPECT_EQ((Entries{{"p", "3"}, {"b", "2"}, {"o", "1"}}), EntriesOf(file));
  EXPECT_STREQ("2", file.Get("b").c_str());
}

TEST_F(SettingsFileTest, SaveIntoAMissingFolderFailsAndCreatesNothing) {
  ByteString path((folder_ / "missing" / "ksm.cfg").u8string().c_str());
  SettingsFile file(path);
  file.Set("A", "1");
  EXPECT_FALSE(file.Save());
  EXPECT_FALSE(fs::exists(folder_ / "missing"));
}

TEST_F(SettingsFileTest, SaveWithEmptyPathFails) {
  SettingsFile file("");
  file.Set("A", "1");
  EXPECT_FALSE(file.Save());
}

TEST_F(SettingsFileTest, SaveLeavesNoTemporaryFileBehind) {
  Write("A=1\n");
  SettingsFile file(Path());
  file.Set("B", "2");
  ASSERT_TRUE(file.Save());
  EXPECT_EQ(1u, FilesInFolder());
}

// Saving writes keys as they are and no mark, so a key that itself begins
// with the bytes of a byte-order mark, saved as the first line, reads as a
// mark on the next load: the UTF-8 mark is skipped (the key loses those
// bytes), a UTF-16 mark empties the store. The fuzz target of the settings
// store found this; the file format is kept as it is.
TEST_F(SettingsFileTest, AKeyBeginningWithMarkBytesReadsAsAMarkOnceSavedFirst) {
  struct Case {
    const char* what;
    std::string file;
    Entries reloaded;
  } cases[] = {
      {"UTF-8 mark bytes", "x=1\n\xEF\xBB\xBFk=v\n", {{"x", "1"}, {"k", "v"}}},
      {"UTF-16 mark bytes", "x=1\n\xFF\xFEk=v\n", {}},
  };
  for (const Case& c : cases) {
    Write(c.file);
    SettingsFile first(Path());
    ASSERT_EQ(2u, EntriesOf(first).size()) << c.what;
    ASSERT_TRUE(first.Save()) << c.what;
    EXPECT_EQ(c.reloaded, EntriesOf(SettingsFile(Path()))) << c.what;
  }
}

TEST(ParseSettingBool, ReadsNumbersAndWords) {
  struct Case {
    const char* text;
    bool value;
  } cases[] = {
      {"1", true},      {"2", true},       {"-1", true},    {"10abc", true},
      {"true", true},   {"TRUE", true},    {"True", true},  {"t", true},
      {"T", true},      {"yes", true},     {"YeS", true},   {"y", true},
      {"Y", true},      {" 7", true},      {"99999999999", true},
      {"", false},      {"0", false},      {"false", false}, {"no", false},
      {"on", false},    {"0x1", false},    {"yes ", false}, {"truex", false},
  };
  for (const Case& c : cases) EXPECT_EQ(c.value, ParseSettingBool(c.text)) << '"' << c.text << '"';
}
