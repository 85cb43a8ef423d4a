#include "player/file_exists.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "player/song_file_name.h"

namespace opl2 {
namespace {

namespace fs = std::filesystem;

class FileExistsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/opl2_file_exists_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  void Touch(const std::string& name) const {
    std::FILE* f = std::fopen(Path(name).c_str(), "w");
    ASSERT_NE(f, nullptr) << name;
    std::fclose(f);
  }

  std::string dir_;
};

TEST_F(FileExistsTest, AnyDirectoryEntryCounts) {
  Touch("song.sng");
  ASSERT_EQ(mkdir(Path("folder").c_str(), 0755), 0);
  ASSERT_EQ(symlink(Path("nowhere").c_str(), Path("dangling").c_str()), 0);
  Touch("locked.sng");
  ASSERT_EQ(chmod(Path("locked.sng").c_str(), 0), 0);

  EXPECT_EQ(FileExists(Path("song.sng").c_str()), 1);
  EXPECT_EQ(FileExists(Path("folder").c_str()), 1);
  EXPECT_EQ(FileExists(Path("dangling").c_str()), 1) << "a link is an entry of its own";
  EXPECT_EQ(FileExists(Path("locked.sng").c_str()), 1);
  EXPECT_EQ(FileExists(dir_.c_str()), 1);
}

TEST_F(FileExistsTest, MissingAndEmptyNamesDoNotExist) {
  Touch("song.sng");
  EXPECT_EQ(FileExists(Path("other.sng").c_str()), 0);
  EXPECT_EQ(FileExists(Path("song.sng ").c_str()), 0) << "a trailing blank is part of the name";
  EXPECT_EQ(FileExists(("\"" + Path("song.sng") + "\"").c_str()), 0) << "quotes are kept";
  EXPECT_EQ(FileExists(""), 0);
  EXPECT_EQ(FileExists(nullptr), 0);
}

TEST_F(FileExistsTest, NamesWithWildcardsArePatterns) {
  Touch("song1.sng");
  Touch("tune.dat");
  EXPECT_EQ(FileExists(Path("*.sng").c_str()), 1);
  EXPECT_EQ(FileExists(Path("song?.sng").c_str()), 1);
  EXPECT_EQ(FileExists(Path("t*").c_str()), 1);
  EXPECT_EQ(FileExists(Path("*.mid").c_str()), 0);
  EXPECT_EQ(FileExists(Path("song??.sng").c_str()), 0);
  EXPECT_EQ(FileExists(Path("nodir/*").c_str()), 0);
}

TEST_F(FileExistsTest, OnlyStarAndQuestionMarkAreWildcards) {
  Touch("a1.sng");
  // As a glob bracket expression "[1]" would match "a1.sng"; here it is text.
  EXPECT_EQ(FileExists(Path("a[1]*").c_str()), 0);
  Touch("a[1].sng");
  EXPECT_EQ(FileExists(Path("a[1]*").c_str()), 1);
  Touch("back\\slash");
  EXPECT_EQ(FileExists(Path("back\\sl*").c_str()), 1);
}

TEST_F(FileExistsTest, StarMatchesNamesThatBeginWithADot) {
  Touch(".hidden");
  EXPECT_EQ(FileExists(Path("*idden").c_str()), 1);
}

// A path of exactly `length` characters made of nested folders below `base`.
std::string MakeDirectoryPathOfLength(const std::string& base, std::size_t length) {
  std::string path = base;
  while (length - path.size() > 201) {
    path += "/" + std::string(199, 'd');
    mkdir(path.c_str(), 0755);
  }
  path += "/" + std::string(length - path.size() - 1, 'e');
  mkdir(path.c_str(), 0755);
  return path;
}

TEST_F(FileExistsTest, NamesOf2048CharactersOrMoreAreRefused) {
  const std::string fits = MakeDirectoryPathOfLength(dir_, kSongFileNameSize - 1);
  const std::string too_long = MakeDirectoryPathOfLength(dir_, kSongFileNameSize);
  ASSERT_EQ(fits.size(), 2047u);
  ASSERT_EQ(too_long.size(), 2048u);
  struct stat info {};
  ASSERT_EQ(stat(too_long.c_str(), &info), 0) << "the long path does exist";

  EXPECT_EQ(FileExists(fits.c_str()), 1);
  EXPECT_EQ(FileExists(too_long.c_str()), 0);
  std::string pattern = too_long;
  pattern.back() = '?';
  EXPECT_EQ(FileExists(pattern.c_str()), 0);
}

TEST(SongFileNameTest, StoresNamesThatFitAndRefusesOthersWithoutCutting) {
  SongFileName buffer{};
  const std::string fits(2047, 'n');
  ASSERT_TRUE(StoreSongFileName(fits, buffer));
  EXPECT_EQ(std::string(buffer.data()), fits);

  ASSERT_TRUE(StoreSongFileName("", buffer));
  EXPECT_EQ(std::string(buffer.data()), "");

  ASSERT_TRUE(StoreSongFileName(" \"my song\" ", buffer));
  EXPECT_EQ(std::string(buffer.data()), " \"my song\" ");

  EXPECT_FALSE(StoreSongFileName(std::string(2048, 'n'), buffer));
  EXPECT_EQ(buffer[0], '\0');
  ASSERT_TRUE(StoreSongFileName("x", buffer));
  EXPECT_FALSE(StoreSongFileName(std::string("so\0ng", 5), buffer));
  EXPECT_EQ(buffer[0], '\0');
}

}  // namespace
}  // namespace opl2
