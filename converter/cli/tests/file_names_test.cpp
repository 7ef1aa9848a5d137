// Unique names, removal of writable files, and folders made level by level.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "converter/cli/FileNames.h"

namespace converter {
namespace {

class FileNames : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/converter-names-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }
  std::string file(const std::string& name) const { return dir_ + "/" + name; }
  void touch(const std::string& name) const { std::ofstream(file(name)) << "x"; }
  std::string dir_;
};

TEST_F(FileNames, UniqueNamesCountUpBeforeTheExtension) {
  EXPECT_EQ(MakeUnique(file("photo.jpg")), file("photo.jpg"));
  touch("photo.jpg");
  EXPECT_EQ(MakeUnique(file("photo.jpg")), file("photo(1).jpg"));
  touch("photo(1).jpg");
  EXPECT_EQ(MakeUnique(file("photo.jpg")), file("photo(2).jpg"));
  // A dot in a folder name is not an extension.
  ASSERT_EQ(mkdir(file("a.b").c_str(), 0755), 0);
  std::ofstream(file("a.b/name")) << "x";
  EXPECT_EQ(MakeUnique(file("a.b/name")), file("a.b/name(1)"));
  // A read-only file is not taken, but its name is not free either.
  touch("locked.png");
  chmod(file("locked.png").c_str(), 0444);
  EXPECT_FALSE(IsTaken(file("locked.png")));
  EXPECT_EQ(MakeUnique(file("locked.png")), file("locked(1).png"));
}

TEST_F(FileNames, RemovalAndFolders) {
  touch("old.tif");
  EXPECT_TRUE(RemoveWritable(file("old.tif")));
  EXPECT_FALSE(RemoveWritable(file("old.tif")));
  EXPECT_TRUE(MakeFolders(file("one/two/three")));
  struct stat st {};
  EXPECT_EQ(stat(file("one/two/three").c_str(), &st), 0);
  touch("plain");
  EXPECT_FALSE(MakeFolders(file("plain/below")));  // a file where a folder should be

  EXPECT_EQ(BaseName("/a/b/photo.final.jpg"), "photo.final");
  EXPECT_EQ(BaseName("/a/b/README"), "");
  EXPECT_EQ(FolderOf("/a/b/photo.jpg"), "/a/b");
  EXPECT_EQ(FileNameOf("/a/b/photo.jpg"), "photo.jpg");
}

}  // namespace
}  // namespace converter
