// The files of a film under temporary names: the lock on the film's name (also through a
// link), temporary files that a killed film left, and moving the files into place.
#include "output/FilmOutput.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "support/TestSupport.h"

using namespace movara;
using movara::test::TTempDir;

namespace {

namespace fs = std::filesystem;

std::set<std::string> Names(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename().string());
  return names;
}

TEST(FilmOutput, TheLockLeftFilesAndTheMoveIntoPlace) {
  TTempDir dir;
  fs::remove_all(dir.File("home"));
  // what a film named film.avi left when it was killed, and names that only look alike
  const std::set<std::string> stale = {".film.movara-abcd1234.avi", ".film01.movara-zz99aa00.AVI",
                                       ".film0003.movara-00000000.JPG"};
  const std::set<std::string> others = {".film.movara-abcd123.avi",   ".film0.movara-abcd1234.avi",
                                        ".filmx.movara-abcd1234.avi", ".film.movara-ABCD1234.avi",
                                        ".film01.movara-abcd1234.avi", "film.movara-abcd1234.avi",
                                        ".other.movara-abcd1234.avi", "film.avi"};
  for (const std::string& n : stale) test::WriteBytes(dir.File(n), {1});
  for (const std::string& n : others) test::WriteBytes(dir.File(n), {2});
  fs::create_symlink("film.avi", dir.File("alias.avi"));

  TFilmOutput film;
  ASSERT_TRUE(film.Open(dir.File("film.avi"))) << film.Reason();
  std::set<std::string> expected = others;
  expected.insert("alias.avi");
  expected.insert(".film.avi.movara-lock");
  EXPECT_EQ(Names(dir.Path()), expected);

  // the same film by another name is the same film
  TFilmOutput second;
  EXPECT_FALSE(second.Open(dir.File("alias.avi")));
  EXPECT_EQ(second.Reason(), "inny film jest właśnie zapisywany pod tą nazwą");

  const std::string temp = film.Create(dir.File("film.avi"));
  ASSERT_FALSE(temp.empty()) << film.Reason();
  EXPECT_EQ(fs::path(temp).parent_path(), fs::path(dir.File("film.avi")).parent_path());
  EXPECT_EQ(fs::path(temp).extension(), ".avi");
  test::WriteBytes(temp, {'n', 'e', 'w'});
  EXPECT_EQ(test::ReadBytes(dir.File("film.avi")), std::vector<uint8_t>{2});  // not before the end
  ASSERT_TRUE(film.Commit()) << film.Reason();
  film.Release();
  EXPECT_EQ(film.Committed(), std::vector<std::string>{dir.File("film.avi")});
  EXPECT_EQ(test::ReadBytes(dir.File("film.avi")), (std::vector<uint8_t>{'n', 'e', 'w'}));
  expected.erase(".film.avi.movara-lock");
  EXPECT_EQ(Names(dir.Path()), expected);
  EXPECT_TRUE(second.Open(dir.File("alias.avi"))) << second.Reason();
}

}  // namespace
