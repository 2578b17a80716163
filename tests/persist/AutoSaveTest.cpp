// Recovery copies of unsaved work: written beside nothing of the user's, one per editor,
// hidden while their editor runs, offered back once it is gone, removed after a save or
// an answer of No, and read back as the project they copied.
#include "persist/AutoSave.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "base/UserMessages.h"
#include "persist/ProjectDocument.h"
#include "support/TestSupport.h"

namespace movara {
namespace {

std::vector<uint8_t> ReadAll(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Colour blocks and sequence shortcuts need no media files.
void Edit(TProjectDocument& doc, int n) {
  TLayerBox& box = doc.LayerBox();
  for (int k = 0; k < n; ++k) {
    box.RowByNumber(lnImage)->InsertUniformColor(FrameToPixel(box.Zoom(), box.IconSize(), 200 * k + 100), ucBlue,
                                                UniformColorBlue);
    doc.History().Commit();
  }
}

std::vector<uint8_t> Bytes(TProjectDocument& doc) {
  return ProjectBytes(doc.LayerBox(), &doc.Resources(), doc.CountType(), "");
}

TEST(AutoSave, EachEditorKeepsItsOwnCopyUntilASaveOrClose) {
  test::TTempDir dir;
  const std::string folder = dir.File("recovery/");
  const std::string project = dir.File("mine.mvf");
  TScopedMessageRecorder messages;
  {
    TProjectDocument first;
    Edit(first, 1);
    TProjectStream stream(project, nullptr, &first.Resources(), &first.LayerBox(), false);
    ASSERT_TRUE(stream.WriteProject(project));
  }
  const std::vector<uint8_t> userFile = ReadAll(project);
  TProjectDocument a;
  auto b = std::make_unique<TProjectDocument>();
  a.StartAutoSave(folder, 1001);
  b->StartAutoSave(folder, 1002);
  ASSERT_TRUE(a.Open(project));
  EXPECT_FALSE(a.AutoSaveNow());  // nothing unsaved
  Edit(a, 3);
  Edit(*b, 1);
  ASSERT_TRUE(a.AutoSaveNow());
  ASSERT_TRUE(b->AutoSaveNow());
  a.AutoSave()->Wait();
  b->AutoSave()->Wait();
  EXPECT_FALSE(a.AutoSaveNow());  // nothing new since the copy
  EXPECT_EQ(ReadAll(a.AutoSave()->FileName()), Bytes(a));
  EXPECT_EQ(ReadAll(b->AutoSave()->FileName()), Bytes(*b));
  EXPECT_NE(a.AutoSave()->FileName(), b->AutoSave()->FileName());
  EXPECT_EQ(ReadAll(project), userFile);
  // running editors keep their copies to themselves
  EXPECT_TRUE(FindRecoveryFiles(folder).empty());
  // a save removes the copy and keeps the history; a close removes the other
  ASSERT_TRUE(a.Save());
  EXPECT_FALSE(std::filesystem::exists(a.AutoSave()->FileName()));
  EXPECT_TRUE(a.History().CanUndo());
  const std::string bCopy = b->AutoSave()->FileName();
  b.reset();
  EXPECT_FALSE(std::filesystem::exists(bCopy));
  EXPECT_TRUE(messages.Texts().empty());
}

TEST(AutoSave, CopiesLeftByAGoneEditorAreOfferedAndReadBack) {
  test::TTempDir dir;
  const std::string folder = dir.File("recovery/");
  TScopedMessageRecorder messages;
  std::vector<uint8_t> older, newer;
  {
    // two editors killed: their copies stay, their locks go with them
    TProjectDocument d;
    Edit(d, 2);
    older = Bytes(d);
    Edit(d, 1);
    newer = Bytes(d);
    TAutoSave seven(folder, 7), eight(folder, 8);
    ASSERT_TRUE(seven.Write(std::vector<uint8_t>(older), dir.File("seven.mvf")));
    ASSERT_TRUE(eight.Write(std::vector<uint8_t>(newer), ""));
    seven.Wait();
    eight.Wait();
  }
  {
    // a copy that is no project is removed without a question
    TAutoSave broken(folder, 6);
    ASSERT_TRUE(broken.Write(std::vector<uint8_t>{'R', 'I', 'F', 'F', 1, 2, 3}, ""));
  }
  struct utimbuf t {};
  t.actime = t.modtime = time(nullptr) - 100;
  ASSERT_EQ(utime((folder + "movara-7.mvf").c_str(), &t), 0);
  struct utimbuf later {};
  later.actime = later.modtime = time(nullptr) + 50;  // the newest
  ASSERT_EQ(utime((folder + "movara-6.mvf").c_str(), &later), 0);
  std::vector<TRecoveryFile> left = FindRecoveryFiles(folder);
  ASSERT_EQ(left.size(), 3u);  // the newest first
  EXPECT_EQ(left[0].FileName, folder + "movara-6.mvf");
  left.erase(left.begin());
  EXPECT_EQ(left[0].ProjectName, "");
  EXPECT_EQ(left[1].ProjectName, dir.File("seven.mvf"));

  // No removes the newer copy; Yes opens the older as the unsaved project it was
  messages.Recorder().QueueAnswer(TMsgAnswer::No);
  messages.Recorder().QueueAnswer(TMsgAnswer::Yes);
  TProjectDocument c;
  c.StartAutoSave(folder, 9);
  ASSERT_TRUE(c.OfferRecovery(folder));
  const std::vector<std::string> texts = messages.Texts();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0], "Odzyskać niezapisane zmiany projektu (nowy projekt) z " + left[0].TimeText() + "?");
  EXPECT_EQ(texts[1], "Odzyskać niezapisane zmiany projektu " + dir.File("seven.mvf") + " z " + left[1].TimeText() + "?");
  EXPECT_EQ(Bytes(c), older);
  EXPECT_EQ(c.FileName(), dir.File("seven.mvf"));
  EXPECT_TRUE(c.LayerBox().Modified());
  EXPECT_FALSE(c.History().CanUndo());
  // the copy taken over is this editor's now: it stays until a save
  EXPECT_TRUE(FindRecoveryFiles(folder).empty());
  EXPECT_EQ(ReadAll(c.AutoSave()->FileName()), older);
  EXPECT_FALSE(std::filesystem::exists(folder + "movara-8.mvf"));
  EXPECT_FALSE(std::filesystem::exists(folder + "movara-6.mvf"));
  ASSERT_TRUE(c.Save());
  EXPECT_FALSE(std::filesystem::exists(c.AutoSave()->FileName()));
  EXPECT_TRUE(std::filesystem::exists(dir.File("seven.mvf")));
}

TEST(AutoSave, CopiesOlderThanTheirProjectAreDropped) {
  test::TTempDir dir;
  const std::string folder = dir.File("recovery/");
  const std::string project = dir.File("p.mvf");
  {
    TAutoSave save(folder, 7);
    std::vector<uint8_t> bytes{1, 2, 3};
    ASSERT_TRUE(save.Write(std::move(bytes), project));
    save.Wait();
    ASSERT_TRUE(save.LastOk());
  }
  std::ofstream(project) << "saved later";
  struct utimbuf later {};
  later.actime = later.modtime = time(nullptr) + 10;
  ASSERT_EQ(utime(project.c_str(), &later), 0);
  EXPECT_TRUE(FindRecoveryFiles(folder).empty());
  EXPECT_FALSE(std::filesystem::exists(folder + "movara-7.mvf"));
  EXPECT_FALSE(std::filesystem::exists(folder + "movara-7.info"));
}

}  // namespace
}  // namespace movara
