// The open project of the editor: the unsaved-work question and its answers, open, save,
// save-as and new with their dialogs, messages and events, files it cannot use leaving
// the open project alone, and the recent-file list.
#include "persist/ProjectDocument.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/AppPaths.h"
#include "base/Dib.h"
#include "base/UserMessages.h"
#include "media/AudioZoom.h"
#include "media/ResourceLists.h"
#include "project/ClipGraphic.h"
#include "support/TestSupport.h"

namespace movara {
namespace {

using test::TTempDir;
using test::WriteBytes;

// Dialogs that answer from a script and remember what they were shown.
class TScriptedDialogs : public IProjectDialogs {
 public:
  std::string OpenAnswer, SaveAnswer;
  std::vector<std::string> Asked;  // "open FOLDER" / "save FOLDER|CURRENT"
  std::string AskOpenProject(const std::string& folder) override {
    Asked.push_back("open " + folder);
    return OpenAnswer;
  }
  std::string AskSaveProject(const std::string& folder, const std::string& current) override {
    Asked.push_back("save " + folder + "|" + current);
    return SaveAnswer;
  }
};

class ProjectDocumentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDataFolderForTests(dir_.File("data/"));
    doc_.SetDialogs(&dialogs_);
    doc_.OnFileNameChanged = [this] { events_ += "name;"; };
    doc_.OnOpened = [this] { events_ += "opened;"; };
    doc_.OnCleared = [this] { events_ += "cleared;"; };
  }
  void TearDown() override {
    DestroyResourceLists();
    AudioZoomReaderList().Clear();
    SetDataFolderForTests("");
  }
  std::string Bmp(const std::string& name) {
    TDIB dib(64, 48, 24);
    dib.Fill(RGBColor(200, 30, 30));
    const std::string f = dir_.File(name);
    EXPECT_TRUE(dib.SaveToFile(f));
    return f;
  }
  // A picture block on row A showing a.bmp: the project is modified.
  TLayerItem* AddPictureBlock(int first = 0) {
    TClipGraphic* clip = doc_.ClipBox().FindClip(dir_.File("a.bmp"));
    if (!clip) clip = doc_.ClipBox().AddFile(Bmp("a.bmp"));
    EXPECT_NE(clip, nullptr);
    TLayerItem* item =
        doc_.LayerBox().RowByNumber(lnFirstClipTop)->InsertLayerItem(first, false, true, false, -1, clip, 50);
    doc_.LayerBox().SetModified(true);
    return item;
  }
  int Blocks(TLayerNumber n) { return doc_.LayerBox().RowByNumber(n)->ItemCount(); }

  TTempDir dir_;
  TScriptedDialogs dialogs_;
  TProjectDocument doc_;
  std::string events_;
};

TEST_F(ProjectDocumentTest, UnsavedWorkQuestionAndItsAnswers) {
  struct TCase {
    const char* name;
    bool modified;
    TMsgAnswer answer;
    const char* saveAs;  // the save dialog's answer
    bool goesOn;
    bool asked;
    bool savedFile;
  } cases[] = {
      {"not modified", false, TMsgAnswer::Cancel, "", true, false, false},
      {"cancel", true, TMsgAnswer::Cancel, "x.mvf", false, true, false},
      {"no", true, TMsgAnswer::No, "x.mvf", true, true, false},
      {"yes saves", true, TMsgAnswer::Yes, "x.mvf", true, true, true},
      {"yes but save-as cancelled", true, TMsgAnswer::Yes, "", false, true, false},
      {"yes but the file cannot be written", true, TMsgAnswer::Yes, "no/such/folder/x.mvf", false, true, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(dir_.File("x.mvf"));
    doc_.LayerBox().SetModified(false);  // the last case's work is thrown away
    ASSERT_TRUE(doc_.New());
    if (c.modified) AddPictureBlock();
    dialogs_.SaveAnswer = *c.saveAs ? dir_.File(c.saveAs) : "";
    TScopedMessageRecorder rec;
    rec.Recorder().QueueAnswer(c.answer);
    EXPECT_EQ(doc_.QueryUnsaved(), c.goesOn);
    const std::vector<TMsgRequest> asked = rec.Recorder().Requests();
    ASSERT_EQ(!asked.empty(), c.asked);
    if (c.asked) {
      EXPECT_EQ(asked[0].Text, "Projekt nie jest zapisany. Czy chcesz zapisać aktualny stan na dysk ?");
      EXPECT_EQ(asked[0].Caption, "Zapis projektu");
      EXPECT_EQ(asked[0].Buttons, TMsgButtons::YesNoCancel);
      EXPECT_EQ(asked[0].SafeAnswer, TMsgAnswer::Cancel);  // a service without a user loses nothing
    }
    EXPECT_EQ(std::filesystem::exists(dir_.File("x.mvf")), c.savedFile);
    EXPECT_EQ(doc_.Modified(), c.modified && !c.savedFile);
    if (c.savedFile) {
      EXPECT_EQ(doc_.FileName(), dir_.File("x.mvf"));
    }
  }
}

TEST_F(ProjectDocumentTest, SavedProjectOpensAgainAfterNew) {
  AddPictureBlock(0);
  AddPictureBlock(100);
  doc_.SetCountType(ctTime);
  dialogs_.SaveAnswer = dir_.File("film");  // no extension: ".mvf" is added
  ASSERT_TRUE(doc_.Save());                 // no name yet: save-as
  const std::string file = dir_.File("film.mvf");
  EXPECT_EQ(doc_.FileName(), file);
  EXPECT_FALSE(doc_.Modified());
  EXPECT_EQ(doc_.RecentFiles()[0], file);
  EXPECT_EQ(dialogs_.Asked.back(), "save |");
  EXPECT_EQ(events_, "name;");

  // a second save writes to the name without asking
  AddPictureBlock(200);
  ASSERT_TRUE(doc_.Save());
  EXPECT_EQ(dialogs_.Asked.size(), 1u);

  events_.clear();
  ASSERT_TRUE(doc_.New());
  EXPECT_EQ(events_, "name;cleared;");
  EXPECT_EQ(doc_.FileName(), "");
  EXPECT_EQ(Blocks(lnFirstClipTop), 0);
  EXPECT_EQ(Blocks(lnRange), 1);
  EXPECT_EQ(doc_.ClipBox().Count(), 0);
  EXPECT_FALSE(doc_.Modified());
  doc_.SetCountType(ctSMPTE);

  // the open dialog starts in the last folder; the project comes back whole
  dialogs_.OpenAnswer = file;
  events_.clear();
  TScopedMessageRecorder rec;
  ASSERT_TRUE(doc_.Open(""));
  EXPECT_TRUE(rec.Texts().empty());
  EXPECT_EQ(dialogs_.Asked.back(), "open ");
  EXPECT_EQ(events_, "name;opened;");
  EXPECT_EQ(doc_.FileName(), file);
  EXPECT_EQ(Blocks(lnFirstClipTop), 3);
  EXPECT_EQ(doc_.ClipBox().Count(), 1);  // three blocks share one thumbnail
  EXPECT_EQ(doc_.CountType(), ctTime);
  EXPECT_FALSE(doc_.Modified());
  EXPECT_EQ(doc_.LastFolder(), dir_.Path());
  ASSERT_TRUE(doc_.New());
  ASSERT_TRUE(doc_.Open(""));
  EXPECT_EQ(dialogs_.Asked.back(), "open " + dir_.Path());

  // a project whose picture went away opens in part: [811], modified, not put first in
  // the recent list
  std::filesystem::remove(dir_.File("a.bmp"));
  doc_.SetRecentFiles({"/x/other.mvf"});
  ASSERT_TRUE(doc_.New());
  EXPECT_FALSE(doc_.Open(file));
  ASSERT_EQ(rec.Texts().size(), 1u);
  EXPECT_EQ(rec.Texts()[0].rfind("[811] Uwaga! Odczytanych zostało tylko 1 elem.w z wszystkich 4.", 0), 0u)
      << rec.Texts()[0];
  EXPECT_EQ(doc_.FileName(), file);
  EXPECT_EQ(doc_.RecentFiles()[0], "/x/other.mvf");
}

// A file the command cannot use at all leaves the open project as it was: its blocks,
// its thumbnails, its name and its modified state.
TEST_F(ProjectDocumentTest, AFileThatCannotBeUsedLeavesTheOpenProject) {
  dialogs_.SaveAnswer = dir_.File("mine.mvf");
  AddPictureBlock();
  ASSERT_TRUE(doc_.SaveAs());
  AddPictureBlock(100);  // modified again

  WriteBytes(dir_.File("foreign.mvf"), std::vector<uint8_t>(900, 'x'));
  WriteBytes(dir_.File("locked.mvf"), {'M', 'V', '1', '0'});
  {  // a project cut inside the envelope that follows its block
    TLayerBox box;
    box.EnsureRangeItem();
    TLayerItem* item = box.RowByNumber(lnAudioFirst)->InsertLayerItem(0, false, false, false, -1, nullptr, 25);
    item->LevelBox()->AddPoint(10)->Level = 30;
    TProjectStream out(dir_.File("whole.mvf"), nullptr, nullptr, &box, false);
    ASSERT_TRUE(out.WriteProject(dir_.File("whole.mvf")));
  }
  std::vector<uint8_t> cut = test::ReadBytes(dir_.File("whole.mvf"));
  cut.pop_back();
  WriteBytes(dir_.File("cut.mvf"), cut);
  ::chmod(dir_.File("locked.mvf").c_str(), 0);
  struct TCase {
    std::string file;
    std::string message;
  } cases[] = {
      {dir_.File("gone.mvf"), "Plik '" + dir_.File("gone.mvf") + "' nie istnieje !"},
      {dir_.File("foreign.mvf"), "Plik " + dir_.File("foreign.mvf") + " nie został rozpoznany przez Movara 1.0"},
      {dir_.File("locked.mvf"), "[812]. Wystąpił bląd podczas próby odczytu pliku " + dir_.File("locked.mvf")},
      {dir_.File("cut.mvf"), "[812]. Wystąpił bląd podczas próby odczytu pliku " + dir_.File("cut.mvf")},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.file);
    if (c.file == dir_.File("locked.mvf") && ::geteuid() == 0) continue;  // root reads any file
    events_.clear();
    TScopedMessageRecorder rec;
    rec.Recorder().QueueAnswer(TMsgAnswer::No);  // the unsaved-work question
    EXPECT_FALSE(doc_.Open(c.file));
    ASSERT_EQ(rec.Texts().size(), 2u);
    EXPECT_EQ(rec.Texts()[1], c.message);
    EXPECT_EQ(events_, "");
    EXPECT_EQ(Blocks(lnFirstClipTop), 2);
    EXPECT_EQ(doc_.ClipBox().Count(), 1);
    EXPECT_EQ(doc_.FileName(), dir_.File("mine.mvf"));
    EXPECT_TRUE(doc_.Modified());
  }
}

TEST_F(ProjectDocumentTest, RecentFilesMoveUpAndTheOldestDropsOut) {
  for (int i = 1; i <= 6; ++i) doc_.AddRecentFile("/p/" + std::to_string(i) + ".mvf");
  using L = std::array<std::string, kRecentProjectCount>;
  EXPECT_EQ(doc_.RecentFiles(), (L{"/p/6.mvf", "/p/5.mvf", "/p/4.mvf", "/p/3.mvf", "/p/2.mvf", "/p/1.mvf"}));
  doc_.AddRecentFile("/p/6.mvf");  // first already: unchanged
  EXPECT_EQ(doc_.RecentFiles()[0], "/p/6.mvf");
  doc_.AddRecentFile("/p/3.mvf");  // the fourth moves up, the first three shift down
  EXPECT_EQ(doc_.RecentFiles(), (L{"/p/3.mvf", "/p/6.mvf", "/p/5.mvf", "/p/4.mvf", "/p/2.mvf", "/p/1.mvf"}));
  doc_.AddRecentFile("/p/7.mvf");  // a seventh pushes the oldest out
  EXPECT_EQ(doc_.RecentFiles(), (L{"/p/7.mvf", "/p/3.mvf", "/p/6.mvf", "/p/5.mvf", "/p/4.mvf", "/p/2.mvf"}));

  EXPECT_EQ(TProjectDocument::RecentCaptionFileName("&3 /p/a b.mvf"), "/p/a b.mvf");
  EXPECT_EQ(TProjectDocument::RecentCaptionFileName("/p/R&D.mvf"), "/p/RD.mvf");
  TScopedMessageRecorder rec;
  EXPECT_FALSE(doc_.OpenRecentCaption("&1 " + dir_.File("gone.mvf")));
  ASSERT_EQ(rec.Texts().size(), 1u);
  EXPECT_EQ(rec.Texts()[0], "Plik '" + dir_.File("gone.mvf") + "' nie istnieje !");
}

}  // namespace
}  // namespace movara
