#include "printlayout/file/ProfileFile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <string>

namespace tessaly {
namespace {

ProfileFile Parse(const std::string& text) {
  ProfileFile profile;
  profile.parse(text);
  return profile;
}

// The stand-alone look-up must agree with the parsed profile.
void ExpectFindAgrees(const std::string& text, const char* section, const char* key, std::size_t limit) {
  const ProfileFile profile = Parse(text);
  EXPECT_EQ(ProfileFile::find(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), section, key, limit),
            profile.value(section, key, limit))
      << section << "/" << key;
}

TEST(ProfileFileTest, SectionsAndKeysIgnoreCase) {
  const ProfileFile p = Parse("[Common]\nVersion=1.0b\nPages=3\n[Page1]\nImages=2\n");
  EXPECT_EQ(p.value("common", "VERSION"), "1.0b");
  EXPECT_EQ(p.value("COMMON", "pages"), "3");
  EXPECT_EQ(p.value("page1", "images"), "2");
  EXPECT_EQ(p.value("Page1", "Pages"), std::nullopt);
  EXPECT_EQ(p.value("Page2", "Images"), std::nullopt);
  EXPECT_TRUE(p.hasSection("PAGE1"));
  EXPECT_FALSE(p.hasSection("Page"));
}

TEST(ProfileFileTest, BlanksAroundNamesAndValuesAreTrimmed) {
  const ProfileFile p = Parse("  [ Common ]  \n  Key Name  =   some value\t \n");
  EXPECT_EQ(p.value("Common", "Key Name"), "some value");
}

TEST(ProfileFileTest, CrLfAndLfLines) {
  const ProfileFile p = Parse("[A]\r\nx=1\r\ny=2\n[B]\r\nz=3");
  EXPECT_EQ(p.value("A", "x"), "1");
  EXPECT_EQ(p.value("A", "y"), "2");
  EXPECT_EQ(p.value("B", "z"), "3");
}

TEST(ProfileFileTest, EnclosingMatchingQuotesAreRemoved) {
  const ProfileFile p =
      Parse("[S]\na=\"quoted value\"\nb='single'\nc=\"mixed'\nd=\"\ne=\"\"\nf=x\"y\"\ng=\"a\" b \"c\"\n");
  EXPECT_EQ(p.value("S", "a"), "quoted value");
  EXPECT_EQ(p.value("S", "b"), "single");
  EXPECT_EQ(p.value("S", "c"), "\"mixed'");
  EXPECT_EQ(p.value("S", "d"), "\"");
  EXPECT_EQ(p.value("S", "e"), "");
  EXPECT_EQ(p.value("S", "f"), "x\"y\"");
  EXPECT_EQ(p.value("S", "g"), "a\" b \"c");
}

TEST(ProfileFileTest, FirstSectionAndFirstKeyWin) {
  const ProfileFile p = Parse("[S]\nk=first\nk=second\n[s]\nk=third\nother=1\n");
  EXPECT_EQ(p.value("S", "k"), "first");
  EXPECT_EQ(p.value("S", "other"), std::nullopt);
  EXPECT_EQ(p.keyCount("S"), 1u);
  ExpectFindAgrees("[S]\nk=first\nk=second\n[s]\nk=third\nother=1\n", "S", "k", 100);
  ExpectFindAgrees("[S]\nk=first\nk=second\n[s]\nk=third\nother=1\n", "S", "other", 100);
}

TEST(ProfileFileTest, ValuesAreCutToTheLimit) {
  const std::string longValue(3000, 'v');
  const ProfileFile p = Parse("[S]\nk=" + longValue + "\nv=1.0b-and-more\n");
  EXPECT_EQ(p.value("S", "k")->size(), ProfileFile::kValueLimit);
  EXPECT_EQ(p.value("S", "k", ProfileFile::kLongValueLimit)->size(), ProfileFile::kLongValueLimit);
  EXPECT_EQ(p.value("S", "v", ProfileFile::kVersionLimit), "1.0b-and-");
  // Quotes go before the cut, so a quoted value of exactly the limit survives whole.
  const ProfileFile q = Parse("[S]\nk=\"" + std::string(9, 'w') + "\"\n");
  EXPECT_EQ(q.value("S", "k", 9), std::string(9, 'w'));
}

TEST(ProfileFileTest, LinesThatAreNotKeys) {
  const ProfileFile p = Parse("orphan=1\n[S\nno equals here\n=empty name\n[S]\n[T]x\nk=v\n");
  // "[S" has no closing bracket, so it is a line without '=' and ignored; keys
  // before the first section are found by no query.
  EXPECT_EQ(p.value("", "orphan"), std::nullopt);
  EXPECT_EQ(p.value("S", "k"), std::nullopt);
  EXPECT_EQ(p.value("T", "k"), "v");
  EXPECT_EQ(p.keyCount("S"), 0u);
}

TEST(ProfileFileTest, EmptyValueIsFoundButEmpty) {
  const ProfileFile p = Parse("[S]\nk=\n");
  EXPECT_EQ(p.value("S", "k"), "");
  EXPECT_EQ(p.get("S", "missing", "fallback"), "fallback");
  EXPECT_EQ(p.get("S", "k", "fallback"), "");
}

TEST(ProfileFileTest, ByteOrderMarkAndNulBytes) {
  static const char bytes[] = "\xEF\xBB\xBF[S]\nk=ab\0cd\n";
  const std::string text(bytes, sizeof(bytes) - 1);
  const ProfileFile p = Parse(text);
  EXPECT_EQ(p.value("S", "k"), "ab");
  ExpectFindAgrees(text, "S", "k", 100);
}

TEST(ProfileFileTest, FindAgreesWithParse) {
  const std::string text = "[Common]\r\nVersion = \"1.0b\" \r\n[common]\nVersion=2\n[Page0]\nImages=4\n";
  ExpectFindAgrees(text, "Common", "Version", 9);
  ExpectFindAgrees(text, "Page0", "Images", 1023);
  ExpectFindAgrees(text, "Page0", "Missing", 1023);
  ExpectFindAgrees(text, "Nothing", "Version", 9);
  ExpectFindAgrees("[Common]\nVersion=1.0bXXXXXXXX\n", "Common", "Version", 9);
  ExpectFindAgrees("", "Common", "Version", 9);
}

TEST(ProfileFileTest, BinaryJunkIsHarmless) {
  std::mt19937 random(7);
  for (int round = 0; round < 50; ++round) {
    std::string junk(1 + random() % 2000, '\0');
    for (char& c : junk) c = static_cast<char>(random() % 8 == 0 ? "[]=\n\r\"' "[random() % 9] : random());
    ProfileFile p = Parse(junk);
    (void)p.value("Common", "Version");
    ExpectFindAgrees(junk, "Common", "Version", 9);
    EXPECT_EQ(p.byteSize(), junk.size());
  }
}

TEST(ProfileFileTest, LoadFile) {
  char name[] = "/tmp/profile_testXXXXXX";
  const int fd = mkstemp(name);
  ASSERT_GE(fd, 0);
  const std::string text = "[Common]\nProjectName=From disk\n";
  ASSERT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  close(fd);
  ProfileFile p;
  EXPECT_TRUE(p.loadFile(name));
  EXPECT_EQ(p.value("Common", "ProjectName"), "From disk");
  std::remove(name);
  // A missing file reads as an empty profile.
  EXPECT_FALSE(p.loadFile(name));
  EXPECT_EQ(p.value("Common", "ProjectName"), std::nullopt);
}

}  // namespace
}  // namespace tessaly
