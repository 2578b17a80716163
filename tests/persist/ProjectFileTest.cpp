// Project files: our round trip, files written by hand from the byte layout, the
// messages of partial reads, the safe save and a corpus of damaged files.
#include "persist/ProjectFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/Dib.h"
#include "base/UserMessages.h"
#include "media/ResourceLists.h"
#include "project/ClipBox.h"
#include "project/ClipGraphic.h"
#include "support/TestSupport.h"

namespace movara {
namespace {

using test::ReadBytes;
using test::TTempDir;
using test::WriteBytes;

// ---- building files by hand from the byte layout

struct TBytes {
  std::vector<uint8_t> b;
  explicit TBytes(size_t n) : b(n, 0) {}
  TBytes& U8(size_t off, uint8_t v) {
    b.at(off) = v;
    return *this;
  }
  TBytes& I32(size_t off, int32_t v) {
    const uint32_t u = static_cast<uint32_t>(v);
    for (int k = 0; k < 4; ++k) b.at(off + k) = static_cast<uint8_t>(u >> (8 * k));
    return *this;
  }
  TBytes& Text(size_t off, const std::string& s) {
    std::memcpy(b.data() + off, s.data(), s.size());
    return *this;
  }
};

TBytes Header(int32_t count) {
  TBytes h(848);
  h.Text(0, "MV10").I32(844, count).I32(16, 25).U8(4, isNormal).U8(5, zmOneSecond);
  return h;
}

// A record of the given length (the buffer is that long, its length field says so).
TBytes Record(int32_t length, TLayerNumber row, int32_t first, int32_t duration) {
  TBytes r(static_cast<size_t>(std::max(length, 100)));
  r.I32(0, length).U8(4, static_cast<uint8_t>(row)).I32(8, first).I32(16, duration).I32(64, -1).I32(44, 100);
  r.I32(24, static_cast<int32_t>(0x8000000F)).I32(52, -1);
  return r;
}
TBytes MediaRecord(TLayerNumber row, int32_t first, int32_t duration, TClipType type, const std::string& name) {
  TBytes r = Record(static_cast<int32_t>(100 + name.size() + 1), row, first, duration);
  r.U8(48, static_cast<uint8_t>(type)).Text(100, name);
  return r;
}

void Append(std::vector<uint8_t>& out, const TBytes& part) { out.insert(out.end(), part.b.begin(), part.b.end()); }
void AppendPoint(std::vector<uint8_t>& out, int32_t frame, int32_t level) {
  TBytes p(8);
  p.I32(0, frame).I32(4, level);
  Append(out, p);
}

// A small non-empty file the plain clip list takes as media.
void Touch(const std::string& file) { WriteBytes(file, {'x'}); }

struct TRead {
  int Result = 0;
  int Total = 0;
  std::vector<std::string> Skipped;
  TCountType CountType = ctSMPTE;
};
TRead ReadInto(const std::string& file, TLayerBox& box, TProjectResources& clips) {
  TRead r;
  box.ClearProject(false);  // as the open command does
  TProjectStream s(file, nullptr, &clips, &box, true);
  r.Result = s.ReadProject(r.Total);
  r.Skipped = s.SkippedFiles();
  r.CountType = s.CountType();
  return r;
}

// The rows' invariants: sorted, linked, no overlaps, partners naming each other.
void ExpectSoundRows(const TLayerBox& box) {
  for (int k = 0; k < box.RowCount(); ++k) {
    const TLayerRow* row = box.Rows(k);
    for (int i = 0; i < row->ItemCount(); ++i) {
      const TLayerItem* it = row->Items(i);
      EXPECT_GE(it->FirstFrame(), 0);
      EXPECT_GE(it->Duration(), 1);
      EXPECT_EQ(it->PrevItem(), i ? row->Items(i - 1) : nullptr);
      if (i && row->LayerType() != ltFx3d) {
        EXPECT_GE(it->FirstFrame(), row->Items(i - 1)->LastFrame());
      }
      if (const TLayerItem* p = it->LinkSynchronizeItem()) {
        EXPECT_NE(p, it);
        EXPECT_EQ(p->LinkSynchronizeItem(), it);
      }
    }
  }
}

// ---- the round trip

struct TProject {
  TLayerBox box;
  TProjectClipList clips;
};

// A project using every field the file stores.
void BuildProject(TProject& p, const std::string& folder) {
  TLayerBox& box = p.box;
  Touch(folder + "a.bmp");
  Touch(folder + "movie.avi");
  TClipGraphic* still = p.clips.ClipForFile(folder + "a.bmp");
  TClipGraphic* movie = p.clips.AddClip("/elsewhere/movie with space.avi", ctMovie, 400);

  box.RowByNumber(lnRange)->Items(0)->SetFirstFrame(10);
  box.RowByNumber(lnRange)->Items(0)->SetDuration(75);
  TLayerItem* seq = box.RowByNumber(lnSequence)->InsertLayerItem(0, false, false, false, -1, nullptr, 30);
  seq->SetFx3dID(0x41);
  TLayerItem* img = box.RowByNumber(lnImage)->InsertLayerItem(5, false, false, false, -1, nullptr, 40);
  img->SetUniformColor(ucSelected);
  img->SetUniformColorValue(0x123456);
  img->SetMediaType(ltImage);
  img->SetComposeMode(cmKeyOnOtherLayer);
  img->SetColorKey(0xFF00FF);
  img->SetYUVLo(-7);
  img->SetYUVHi(200);
  img->LevelBox()->AddPoint(12)->Level = 33;
  TLayerItem* a = box.RowByNumber(lnFirstClipTop)->InsertLayerItem(0, false, false, false, -1, still, 60);
  a->SetSpeed(150);
  a->SetConstDuration(true);
  TLayerItem* a2 = box.RowByNumber(lnFirstClipTop)->InsertLayerItem(100, false, false, false, -1, movie, 80);
  a2->SetOffsetFrame(20);
  TLayerItem* fx = box.RowByNumber(lnFirstFx3d)->InsertLayerItem(50, false, false, false, 0x105, nullptr, 10);
  fx->SetFx3dID(0x20000105);
  TLayerItem* snd = box.RowByNumber(lnAudioSecond)->InsertLayerItem(100, false, false, false, -1, movie, 80);
  snd->SetOffsetFrame(20);
  snd->SetLinkSynchronizeItem(a2);
  snd->Synchronize();
  snd->LevelBox()->AddPoint(30)->Level = 80;
  snd->LevelBox()->AddPoint(60)->Level = 10;
  snd->LevelBox()->EndPoint()->Level = 0;

  box.SetIconSize(isLarge);
  box.SetZoom(zmFourSeconds);
  box.SetFirstFrame(200);
  box.SetFirstLayerDoKey(true);
  box.SetSnapItems(true);
  box.RowByNumber(lnAudioSecond)->SetLevelBoxVisible(true);
  box.RowByNumber(lnImage)->SetLevelBoxVisible(true);
  p.clips.SetClipIconSize(isSmall);
  p.clips.SetClipTimeBase(30);
}

void ExpectSameItem(const TLayerItem* x, const TLayerItem* y, const TLayerBox& bx, const TLayerBox& by) {
  SCOPED_TRACE(testing::Message() << "block at " << x->FirstFrame());
  EXPECT_EQ(x->FirstFrame(), y->FirstFrame());
  EXPECT_EQ(x->Duration(), y->Duration());
  EXPECT_EQ(x->OffsetFrame(), y->OffsetFrame());
  EXPECT_EQ(x->ConstDuration(), y->ConstDuration());
  EXPECT_EQ(x->ColorKey(), y->ColorKey());
  EXPECT_EQ(x->StoredComposeMode(), y->StoredComposeMode());
  EXPECT_EQ(x->UniformColor(), y->UniformColor());
  EXPECT_EQ(x->UniformColorValue(), y->UniformColorValue());
  EXPECT_EQ(x->YUVLo(), y->YUVLo());
  EXPECT_EQ(x->YUVHi(), y->YUVHi());
  EXPECT_EQ(x->Speed(), y->Speed());
  EXPECT_EQ(x->MediaType(), y->MediaType());
  EXPECT_EQ(x->Fx3dID(), y->Fx3dID());
  EXPECT_EQ(x->ClipType(), y->ClipType());
  ASSERT_EQ(x->LinkClipGraphic() == nullptr, y->LinkClipGraphic() == nullptr);
  if (x->LinkClipGraphic()) {
    EXPECT_EQ(x->LinkClipGraphic()->FullFileName(), y->LinkClipGraphic()->FullFileName());
  }
  EXPECT_EQ(x->SynchronizeBothItem(), y->SynchronizeBothItem());
  EXPECT_EQ(bx.IndexOfItem(x->LinkSynchronizeItem()), by.IndexOfItem(y->LinkSynchronizeItem()));
  const TLevelBox* lx = x->LevelBoxIfAny();
  const TLevelBox* ly = y->LevelBoxIfAny();
  ASSERT_EQ(lx == nullptr, ly == nullptr);
  if (lx) {
    ASSERT_EQ(lx->Count(), ly->Count());
    for (int k = 0; k < lx->Count(); ++k) {
      EXPECT_EQ(lx->Points(k)->Frame, ly->Points(k)->Frame);
      EXPECT_EQ(lx->Points(k)->Level, ly->Points(k)->Level);
    }
  }
}

TEST(ProjectFile, WrittenAndReadBackIsTheSameProject) {
  TTempDir dir;
  // the moved-away movie exists only under its full name outside the folder
  TProject p;
  BuildProject(p, dir.Path());
  TProjectStream w(dir.File("p.mvf"), nullptr, &p.clips, &p.box, false);
  w.SetCountType(ctTime);
  ASSERT_TRUE(w.WriteProject(dir.File("p.mvf")));

  // the reader finds the outside movie in its resource list, the picture on disk
  TProject q;
  q.clips.AddClip("/elsewhere/movie with space.avi", ctMovie, 400);
  TScopedMessageRecorder rec;
  TRead r = ReadInto(dir.File("p.mvf"), q.box, q.clips);
  EXPECT_TRUE(rec.Texts().empty()) << rec.Texts().front();
  EXPECT_EQ(r.Total, p.box.TotalItemCount());
  EXPECT_EQ(r.Result, r.Total);
  EXPECT_EQ(r.CountType, ctTime);
  EXPECT_EQ(q.box.IconSize(), isLarge);
  EXPECT_EQ(q.box.Zoom(), zmFourSeconds);
  EXPECT_EQ(q.box.FirstFrame(), p.box.FirstFrame());
  EXPECT_TRUE(q.box.FirstLayerDoKey());
  EXPECT_TRUE(q.box.SnapItems());
  EXPECT_EQ(q.clips.ClipIconSize(), isSmall);
  EXPECT_EQ(q.clips.ClipTimeBase(), 30);
  for (int k = 0; k < p.box.RowCount(); ++k) {
    const TLayerRow* rp = p.box.Rows(k);
    const TLayerRow* rq = q.box.RowByNumber(rp->LayerNumber());
    EXPECT_EQ(rp->LevelBoxVisible(), rq->LevelBoxVisible()) << rp->LayerNumber();
    ASSERT_EQ(rp->ItemCount(), rq->ItemCount()) << rp->LayerNumber();
    for (int i = 0; i < rp->ItemCount(); ++i) ExpectSameItem(rp->Items(i), rq->Items(i), p.box, q.box);
  }
  ExpectSoundRows(q.box);
  // the picture next to the project is stored relative to it
  const std::vector<uint8_t> bytes = ReadBytes(dir.File("p.mvf"));
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_NE(text.find(std::string("a.bmp") + '\0'), std::string::npos);
  EXPECT_EQ(text.find(dir.Path() + "a.bmp"), std::string::npos);
  // and a second write of what was read gives the same bytes
  EXPECT_EQ(ProjectBytes(q.box, &q.clips, r.CountType, dir.Path()), bytes);
}

TEST(ProjectFile, BlocksNamingOneFileShareOneClipOfTheClipBox) {
  TTempDir dir;
  TDIB pic(8, 6, 24);
  ASSERT_TRUE(pic.SaveToFile(dir.File("pic.bmp")));
  std::vector<uint8_t> f;
  Append(f, Header(2));
  Append(f, MediaRecord(lnFirstClipTop, 0, 30, ctStillImage, "pic.bmp"));
  Append(f, MediaRecord(lnImage, 10, 20, ctStillImage, dir.File("pic.bmp")));
  WriteBytes(dir.File("p.mvf"), f);

  TLayerBox box;
  TClipBox clipBox;
  TClipBoxResources clips(clipBox);
  TScopedMessageRecorder rec;
  TOpenProjectResult r = OpenProjectFile(dir.File("p.mvf"), box, clips);
  EXPECT_TRUE(r.Ok);
  EXPECT_EQ(r.Read, 2);
  ASSERT_EQ(clipBox.Count(), 1);
  EXPECT_EQ(box.RowByNumber(lnFirstClipTop)->Items(0)->LinkClipGraphic(), clipBox.Clips(0));
  EXPECT_EQ(box.RowByNumber(lnImage)->Items(0)->LinkClipGraphic(), clipBox.Clips(0));
  EXPECT_EQ(clipBox.Clips(0)->ClipType(), ctStillImage);
  EXPECT_FALSE(box.Modified());
  // no range block in the file: the default one
  ASSERT_EQ(box.RowByNumber(lnRange)->ItemCount(), 1);
  EXPECT_EQ(box.RowByNumber(lnRange)->Items(0)->Duration(), 50);
}

// ---- files written by hand

TEST(ProjectFile, HandWrittenFileReadsAsTheLayoutSays) {
  TTempDir dir;
  Touch(dir.File("s.wav"));
  Touch(dir.File("v.avi"));
  std::vector<uint8_t> f;
  TBytes h = Header(5);
  h.U8(4, isSmall).U8(5, zmTwoSeconds).I32(8, 400).U8(13, 1).I32(16, 25).U8(20, 1).U8(21, ctFrameNumber);
  h.U8(24 + 36 * lnAudioFirst, 1).U8(776, isLarge);
  Append(f, h);
  // 0: range block [0, 100)
  Append(f, Record(100, lnRange, 0, 100));
  // 1: a colour block on the image row, keyed
  TBytes col = Record(100, lnImage, 0, 40);
  col.U8(5, ltImage).U8(28, cmKeyOnThisLayer).U8(29, ucBlue).I32(32, 0xFF0000).I32(36, 3).I32(40, 9);
  col.I32(24, 0x00FF00);
  Append(f, col);
  // 2: a record whose length field says 5000 is read as 4195 bytes
  TBytes longRec = MediaRecord(lnFirstClipTop, 20, 50, ctAnimation, "v.avi");
  longRec.b.resize(4195, 0);
  longRec.I32(0, 5000).I32(12, 7).U8(20, 1).I32(44, 75);
  Append(f, longRec);
  // 3: a transition with its effect
  TBytes fx = Record(100, lnFirstFx3d, 30, 10);
  fx.I32(52, 0x110);
  Append(f, fx);
  // 4: a sound block linked to block 2, with three level points
  TBytes snd = MediaRecord(lnAudioFirst, 20, 50, ctAudio, "s.wav");
  snd.U8(5, ltAudio).I32(56, 3).U8(60, 1).I32(64, 2);
  Append(f, snd);
  AppendPoint(f, 0, 40);
  AppendPoint(f, 10, 70);
  AppendPoint(f, 50, 20);
  WriteBytes(dir.File("p.mvf"), f);

  TLayerBox box;
  TProjectClipList clips;
  TScopedMessageRecorder rec;
  TRead r = ReadInto(dir.File("p.mvf"), box, clips);
  EXPECT_TRUE(rec.Texts().empty());
  EXPECT_EQ(r.Total, 5);
  EXPECT_EQ(r.Result, 5);
  EXPECT_EQ(r.CountType, ctFrameNumber);
  EXPECT_EQ(box.IconSize(), isSmall);
  EXPECT_EQ(box.Zoom(), zmTwoSeconds);
  EXPECT_EQ(box.FirstFrame(), 400);
  EXPECT_TRUE(box.FirstLayerDoKey());
  EXPECT_TRUE(box.SnapItems());
  EXPECT_TRUE(box.RowByNumber(lnAudioFirst)->LevelBoxVisible());
  EXPECT_FALSE(box.RowByNumber(lnImage)->LevelBoxVisible());
  EXPECT_EQ(clips.ClipIconSize(), isLarge);

  const TLayerItem* v = box.RowByNumber(lnFirstClipTop)->Items(0);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->FirstFrame(), 20);
  EXPECT_EQ(v->Duration(), 50);
  EXPECT_EQ(v->OffsetFrame(), 7);
  EXPECT_TRUE(v->ConstDuration());
  EXPECT_EQ(v->Speed(), 75);
  ASSERT_NE(v->LinkClipGraphic(), nullptr);
  EXPECT_EQ(v->LinkClipGraphic()->FullFileName(), dir.File("v.avi"));
  EXPECT_EQ(v->ClipType(), ctAnimation);

  const TLayerItem* t = box.RowByNumber(lnFirstFx3d)->Items(0);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->Fx3dID(), 0x110);
  EXPECT_EQ(t->FirstFrame(), 30);

  const TLayerItem* c = box.RowByNumber(lnImage)->Items(0);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->UniformColor(), ucBlue);
  EXPECT_EQ(c->ComposeMode(), cmKeyOnThisLayer);
  EXPECT_EQ(c->ColorKey(), 0x00FF00u);
  EXPECT_EQ(c->YUVLo(), 3);
  EXPECT_EQ(c->YUVHi(), 9);
  EXPECT_EQ(c->ClipType(), ctUniformColor);

  const TLayerItem* s = box.RowByNumber(lnAudioFirst)->Items(0);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->LinkSynchronizeItem(), v);
  EXPECT_EQ(v->LinkSynchronizeItem(), s);
  EXPECT_TRUE(s->SynchronizeBothItem());
  EXPECT_TRUE(v->SynchronizeBothItem());
  const TLevelBox* lv = s->LevelBoxIfAny();
  ASSERT_NE(lv, nullptr);
  ASSERT_EQ(lv->Count(), 3);
  EXPECT_EQ(lv->Points(0)->Level, 40);
  EXPECT_EQ(lv->Points(1)->Frame, 10);
  EXPECT_EQ(lv->Points(1)->Level, 70);
  EXPECT_EQ(lv->Points(2)->Frame, 50);
  EXPECT_EQ(lv->Points(2)->Level, 20);
}

// ---- messages

TEST(ProjectFile, ForeignMagicIsRefusedAsAWhole) {
  TTempDir dir;
  TBytes h = Header(3);
  h.Text(0, "mv10");
  WriteBytes(dir.File("x.mvf"), h.b);
  TLayerBox box;
  box.SetZoom(zmTenSeconds);
  TProjectClipList clips;
  TScopedMessageRecorder rec;
  TRead r = ReadInto(dir.File("x.mvf"), box, clips);
  EXPECT_EQ(r.Result, 0);
  EXPECT_EQ(r.Total, 0);
  ASSERT_EQ(rec.Texts().size(), 1u);
  EXPECT_EQ(rec.Texts()[0], "Plik " + dir.File("x.mvf") + " nie został rozpoznany przez Movara 1.0");
  EXPECT_EQ(box.Zoom(), zmTenSeconds);
  EXPECT_EQ(box.TotalItemCount(), 0);
}

TEST(ProjectFile, MissingMediaAreListedInThePartialReadMessage) {
  TTempDir dir;
  Touch(dir.File("here.bmp"));
  std::vector<uint8_t> f;
  Append(f, Header(4));
  Append(f, MediaRecord(lnFirstClipTop, 0, 25, ctStillImage, "here.bmp"));
  // a missing file: the block goes, its level points are read past
  TBytes gone = MediaRecord(lnAudioFirst, 0, 25, ctAudio, "gone.wav");
  gone.I32(56, 2);
  Append(f, gone);
  AppendPoint(f, 0, 10);
  AppendPoint(f, 25, 10);
  // a record of 100 bytes carries no name: a picture block from it is rejected
  TBytes noName = Record(100, lnFirstClipBottom, 0, 25);
  noName.U8(48, ctStillImage);
  Append(f, noName);
  Append(f, MediaRecord(lnImage, 0, 25, ctStillImage, "here.bmp"));
  WriteBytes(dir.File("p.mvf"), f);

  TLayerBox box;
  TProjectClipList clips;
  TScopedMessageRecorder rec;
  TOpenProjectResult r = OpenProjectFile(dir.File("p.mvf"), box, clips);
  EXPECT_FALSE(r.Ok);
  EXPECT_EQ(r.Read, 2);
  EXPECT_EQ(r.Total, 4);
  ASSERT_EQ(rec.Texts().size(), 1u);
  EXPECT_EQ(rec.Texts()[0], "[811] Uwaga! Odczytanych zostało tylko 2 elem.w z wszystkich 4. \r\n Pominięto:\r\n" +
                                dir.File("gone.wav") + "\r\n");
  EXPECT_EQ(box.RowByNumber(lnAudioFirst)->ItemCount(), 0);
  EXPECT_EQ(box.RowByNumber(lnFirstClipBottom)->ItemCount(), 0);
  EXPECT_EQ(box.RowByNumber(lnImage)->ItemCount(), 1);
  EXPECT_EQ(clips.Count(), 1);
  EXPECT_TRUE(box.Modified());
}

// A 24-bit PCM sound, of one block or (over 999999 bytes) of several.
std::vector<uint8_t> Wav24(uint32_t dataBytes) {
  std::vector<uint8_t> w(44 + dataBytes, 0);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int k = 0; k < 4; ++k) w[at + k] = static_cast<uint8_t>(v >> (8 * k));
  };
  std::memcpy(w.data(), "RIFF", 4);
  put32(4, 36 + dataBytes);
  std::memcpy(w.data() + 8, "WAVEfmt ", 8);
  put32(16, 16);
  put32(20, 1 | (2 << 16));  // PCM, 2 channels
  put32(24, 44100);
  put32(28, 44100 * 6);
  put32(32, 6 | (24 << 16));  // block align 6, 24 bits
  std::memcpy(w.data() + 36, "data", 4);
  put32(40, dataBytes);
  return w;
}

// Media the loaders refuse for a reason of their own are listed with it: a picture past
// the memory set aside for the project's pictures (24-bit sounds beside it are read).
TEST(ProjectFile, SkippedMediaAreListedWithWhyTheyFailed) {
  TTempDir dir;
  TDIB(64, 64, 24).SaveToFile(dir.File("small.bmp"));
  TDIB(512, 512, 24).SaveToFile(dir.File("large.bmp"));
  WriteBytes(dir.File("short24.wav"), Wav24(6000));
  WriteBytes(dir.File("long24.wav"), Wav24(1200000));
  std::vector<uint8_t> f;
  Append(f, Header(4));
  Append(f, MediaRecord(lnFirstClipTop, 0, 25, ctStillImage, "small.bmp"));
  Append(f, MediaRecord(lnFirstClipBottom, 0, 25, ctStillImage, "large.bmp"));
  Append(f, MediaRecord(lnAudioFirst, 0, 25, ctAudio, "short24.wav"));
  Append(f, MediaRecord(lnAudioSecond, 0, 25, ctAudio, "long24.wav"));
  WriteBytes(dir.File("p.mvf"), f);

  CreateResourceLists();
  ClearResourceLists();
  const uint64_t budget = PictureBudget();
  SetPictureBudget(200 << 10);  // room for the two copies of the small picture
  TLayerBox box;
  TClipBox clipBox;
  TClipBoxResources clips(clipBox);
  TScopedMessageRecorder rec;
  const TOpenProjectResult r = OpenProjectFile(dir.File("p.mvf"), box, clips);
  SetPictureBudget(budget);
  // the 24-bit sounds our own WAV reader refuses are read through libavformat
  EXPECT_EQ(r.Read, 3);
  ASSERT_EQ(rec.Texts().size(), 1u);
  EXPECT_EQ(rec.Texts()[0], "[811] Uwaga! Odczytanych zostało tylko 3 elem.w z wszystkich 4. \r\n Pominięto:\r\n" +
                                dir.File("large.bmp") +
                                " (its picture (768 KB) does not fit in the memory left for the project's pictures "
                                "(24 KB of 200 KB taken))\r\n");
  clipBox.ClearClips();
  EXPECT_EQ(PictureBytesHeld(), 0u);
}

TEST(ProjectFile, BrokenLinkAndWrongPointCountAreReported) {
  TTempDir dir;
  std::vector<uint8_t> f;
  Append(f, Header(3));
  Append(f, Record(100, lnFirstClipTop, 0, 25));
  // points past the last block read so far
  TBytes snd = Record(100, lnAudioSecond, 0, 25);
  snd.U8(5, ltAudio).U8(60, 1).I32(64, 7);
  Append(f, snd);
  // three stored points, two at the same frame: the envelope has two
  TBytes img = Record(100, lnImage, 0, 20);
  img.I32(56, 3);
  Append(f, img);
  AppendPoint(f, 0, 10);
  AppendPoint(f, 0, 30);
  AppendPoint(f, 20, 90);
  WriteBytes(dir.File("p.mvf"), f);

  TLayerBox box;
  TProjectClipList clips;
  TScopedMessageRecorder rec;
  TRead r = ReadInto(dir.File("p.mvf"), box, clips);
  EXPECT_EQ(r.Result, 3);
  ASSERT_EQ(rec.Texts().size(), 2u);
  EXPECT_EQ(rec.Texts()[0], "[907] Błąd łączenia bloczków animacji i dźwięku. (ID = 7)");
  EXPECT_EQ(rec.Texts()[1], "[906] Błąd ławodania próbek - niepoprawna liczba. Wczytano: 3, Powinno być: 2");
  EXPECT_EQ(box.RowByNumber(lnAudioSecond)->Items(0)->LinkSynchronizeItem(), nullptr);
  const TLevelBox* lv = box.RowByNumber(lnImage)->Items(0)->LevelBoxIfAny();
  ASSERT_NE(lv, nullptr);
  EXPECT_EQ(lv->Points(0)->Level, 30);  // the later value of the same point
  EXPECT_EQ(lv->Points(1)->Level, 90);
}

TEST(ProjectFile, AFileThatCannotBeOpenedShows812AndKeepsTheRangeBlock) {
  TTempDir dir;
  TLayerBox box;
  TProjectClipList clips;
  TScopedMessageRecorder rec;
  TOpenProjectResult r = OpenProjectFile(dir.File("none.mvf"), box, clips);
  EXPECT_FALSE(r.Ok);
  ASSERT_EQ(rec.Texts().size(), 1u);
  EXPECT_EQ(rec.Texts()[0], "[812]. Wystąpił bląd podczas próby odczytu pliku " + dir.File("none.mvf"));
  EXPECT_EQ(box.RowByNumber(lnRange)->ItemCount(), 1);
}

TEST(ProjectFile, AFileCutInsideItsBlocksShows812) {
  TTempDir dir;
  const std::string whole = dir.File("whole.mvf");
  {
    TLayerBox box;
    box.EnsureRangeItem();
    TLayerItem* item = box.RowByNumber(lnAudioFirst)->InsertLayerItem(0, false, false, false, -1, nullptr, 25);
    item->LevelBox()->AddPoint(10)->Level = 30;  // the envelope follows the block's record
    TProjectStream out(whole, nullptr, nullptr, &box, false);
    ASSERT_TRUE(out.WriteProject(whole));
  }
  std::vector<uint8_t> bytes = ReadBytes(whole);
  bytes.pop_back();
  WriteBytes(dir.File("cut.mvf"), bytes);
  TLayerBox box;
  TProjectClipList clips;
  TScopedMessageRecorder rec;
  const TOpenProjectResult r = OpenProjectFile(dir.File("cut.mvf"), box, clips);
  EXPECT_FALSE(r.Ok);
  EXPECT_LT(r.Read, 0);
  ASSERT_EQ(rec.Texts().size(), 1u);
  EXPECT_EQ(rec.Texts()[0], "[812]. Wystąpił bląd podczas próby odczytu pliku " + dir.File("cut.mvf"));
}

TEST(ProjectFile, ShortHeaderReadsAsZeros) {
  TTempDir dir;
  WriteBytes(dir.File("p.mvf"), {'M', 'V', '1', '0', isSmall});
  TLayerBox box;
  TProjectClipList clips;
  TScopedMessageRecorder rec;
  TRead r = ReadInto(dir.File("p.mvf"), box, clips);
  EXPECT_EQ(r.Result, 0);
  EXPECT_EQ(r.Total, 0);
  EXPECT_TRUE(rec.Texts().empty());
  EXPECT_EQ(box.IconSize(), isSmall);
  // a time base of 0 is not taken
  EXPECT_EQ(clips.ClipTimeBase(), 25);
}

TEST(ProjectFile, MissingRecordsStopAfterTenThousandAndOneRejections) {
  TTempDir dir;
  // counted 2^31 - 1 records, none present: each reads as zeros and names no row
  WriteBytes(dir.File("p.mvf"), Header(0x7FFFFFFF).b);
  struct TCounter : TProjectProgress {
    int steps = 0;
    void Start(int) override {}
    void Step() override { ++steps; }
    void End() override {}
  } progress;
  TLayerBox box;
  TProjectClipList clips;
  TProjectStream s(dir.File("p.mvf"), &progress, &clips, &box, true);
  int total = 0;
  EXPECT_EQ(s.ReadProject(total), 0);
  EXPECT_EQ(total, 0x7FFFFFFF);
  EXPECT_EQ(progress.steps, 10001);
  EXPECT_FALSE(box.BoxState().Contains(bsLoadingItems));

  // one good block first moves the limit on by one
  std::vector<uint8_t> f;
  Append(f, Header(20000));
  Append(f, Record(100, lnRange, 0, 10));
  WriteBytes(dir.File("q.mvf"), f);
  TLayerBox box2;
  TProjectStream s2(dir.File("q.mvf"), &progress, &clips, &box2, true);
  progress.steps = 0;
  EXPECT_EQ(s2.ReadProject(total), 1);
  EXPECT_EQ(progress.steps, 10002);
}

TEST(ProjectFile, LevelPointsCutShortEndTheReadingWithMinusOne) {
  TTempDir dir;
  std::vector<uint8_t> f;
  Append(f, Header(2));
  TBytes snd = Record(100, lnAudioFirst, 0, 25);
  snd.I32(56, 0x7FFFFFFF);
  Append(f, snd);
  AppendPoint(f, 5, 60);
  WriteBytes(dir.File("p.mvf"), f);
  TLayerBox box;
  box.SetZoom(zmOneFrame);
  TProjectClipList clips;
  TScopedMessageRecorder rec;
  TRead r = ReadInto(dir.File("p.mvf"), box, clips);
  EXPECT_EQ(r.Result, -1);
  EXPECT_EQ(r.Total, 2);
  // the header is applied all the same
  EXPECT_EQ(box.Zoom(), zmOneSecond);
  EXPECT_FALSE(box.BoxState().Contains(bsLoadingItems));
}

// ---- saving

TEST(ProjectFile, AFailedSaveLeavesTheOldFile) {
  TTempDir dir;
  TProject p;
  BuildProject(p, dir.Path());
  TProjectStream w(dir.File("p.mvf"), nullptr, &p.clips, &p.box, false);
  ASSERT_TRUE(w.WriteProject(dir.File("p.mvf")));
  const std::vector<uint8_t> before = ReadBytes(dir.File("p.mvf"));

  // a name that cannot be stored fails the whole save
  p.clips.AddClip("/" + std::string(5000, 'n') + ".bmp", ctStillImage);
  p.box.RowByNumber(lnFirstClipBottom)
      ->InsertLayerItem(0, false, false, false, -1, p.clips.Clips(p.clips.Count() - 1), 10);
  EXPECT_FALSE(w.WriteProject(dir.File("p.mvf")));
  EXPECT_EQ(ReadBytes(dir.File("p.mvf")), before);

  // a path that is a folder
  ASSERT_EQ(mkdir(dir.File("folder.mvf").c_str(), 0755), 0);
  TProject q;
  BuildProject(q, dir.Path());
  EXPECT_FALSE(TProjectStream(dir.File("folder.mvf"), nullptr, &q.clips, &q.box, false)
                   .WriteProject(dir.File("folder.mvf")));
  EXPECT_NE(access(dir.File("folder.mvf.tmp~").c_str(), F_OK), 0);

  // a read-only folder (not for root, who writes anyway)
  if (geteuid() != 0) {
    ASSERT_EQ(chmod(dir.Path().c_str(), 0555), 0);
    EXPECT_FALSE(TProjectStream(dir.File("p.mvf"), nullptr, &q.clips, &q.box, false).WriteProject(dir.File("p.mvf")));
    chmod(dir.Path().c_str(), 0755);
    EXPECT_EQ(ReadBytes(dir.File("p.mvf")), before);
  }
}

// ---- damaged files

TEST(ProjectFile, DamagedFilesLoadWhatCanBeLoaded) {
  TTempDir dir;
  Touch(dir.File("m.bmp"));
  std::vector<std::vector<uint8_t>> corpus;
  {  // record lengths 0 and negative, then a good block
    std::vector<uint8_t> f;
    Append(f, Header(3));
    Append(f, Record(0, lnImage, 0, 10));
    Append(f, Record(-5, lnImage, 0, 10));
    corpus.push_back(f);
  }
  {  // a name without its terminating zero fills the whole record
    std::vector<uint8_t> f;
    Append(f, Header(1));
    TBytes r = Record(4195, lnFirstClipTop, 0, 10);
    r.U8(48, ctStillImage);
    for (size_t k = 100; k < 4195; ++k) r.b[k] = 'z';
    Append(f, r);
    corpus.push_back(f);
  }
  {  // enumeration bytes past their last value, link identifiers anywhere
    std::vector<uint8_t> f;
    TBytes h = Header(4);
    h.U8(4, 200).U8(5, 99).U8(21, 17).U8(776, 4).I32(16, 0).I32(8, -50);
    Append(f, h);
    TBytes a = MediaRecord(lnImage, 5, 30, static_cast<TClipType>(77), "m.bmp");
    a.U8(5, 9).U8(28, 5).U8(29, 250);
    Append(f, a);
    TBytes s1 = Record(100, lnAudioFirst, 0, 10);
    s1.U8(5, ltAudio).U8(60, 1).I32(64, 1);  // itself
    Append(f, s1);
    TBytes s2 = Record(100, lnAudioSecond, 0, 10);
    s2.U8(5, ltAudio).U8(60, 1).I32(64, 0x7FFFFFFF);
    Append(f, s2);
    TBytes s3 = Record(100, lnAudioThird, 0x7FFFFFF0, 0x7FFFFFF0);
    s3.U8(5, ltAudio).U8(60, 1).I32(64, 0);
    Append(f, s3);
    corpus.push_back(f);
  }
  {  // level points far outside the block, negative counts
    std::vector<uint8_t> f;
    Append(f, Header(2));
    TBytes r = Record(100, lnAudioFirst, 0, 10);
    r.I32(56, 3);
    Append(f, r);
    AppendPoint(f, -1000, 50);
    AppendPoint(f, 0x7FFFFFFF, -5);
    AppendPoint(f, 5, 1 << 30);
    TBytes r2 = Record(100, lnAudioFirst, 20, 10);
    r2.I32(56, -8);
    Append(f, r2);
    corpus.push_back(f);
  }
  {  // overlapping blocks, overlapping transitions (the transition row keeps them)
    std::vector<uint8_t> f;
    Append(f, Header(5));
    Append(f, Record(100, lnFirstClipTop, 0, 50));
    Append(f, Record(100, lnFirstClipTop, 20, 40));
    Append(f, Record(100, lnFirstClipTop, 10, 5));
    Append(f, Record(100, lnFirstFx3d, 30, 10));
    Append(f, Record(100, lnFirstFx3d, 35, 20));
    corpus.push_back(f);
  }
  {  // a header cut in the middle of the count
    std::vector<uint8_t> f = Header(0x01020304).b;
    f.resize(846);
    corpus.push_back(f);
  }
  for (size_t k = 0; k < corpus.size(); ++k) {
    SCOPED_TRACE(testing::Message() << "corpus file " << k);
    WriteBytes(dir.File("bad.mvf"), corpus[k]);
    TLayerBox box;
    TProjectClipList clips;
    TScopedMessageRecorder rec;
    TRead r = ReadInto(dir.File("bad.mvf"), box, clips);
    EXPECT_LE(r.Result, std::max(r.Total, 0));
    EXPECT_TRUE(ValidEnum(box.IconSize()) && ValidEnum(box.Zoom()));
    EXPECT_GE(clips.ClipTimeBase(), 1);
    EXPECT_FALSE(box.BoxState().Contains(bsLoadingItems));
    ExpectSoundRows(box);
    // what was read is written and read again without loss
    const std::vector<uint8_t> once = ProjectBytes(box, &clips, r.CountType, dir.Path());
    WriteBytes(dir.File("again.mvf"), once);
    TLayerBox box2;
    TRead r2 = ReadInto(dir.File("again.mvf"), box2, clips);
    EXPECT_EQ(r2.Result, box.TotalItemCount());
    EXPECT_EQ(ProjectBytes(box2, &clips, r2.CountType, dir.Path()), once);
  }
}

TEST(ProjectFile, DamagedFilesGiveTheirOwnResults) {
  TTempDir dir;
  Touch(dir.File("m.bmp"));
  // lengths 0 and -5 read nothing and are rejected: 0 of 3
  std::vector<uint8_t> f;
  Append(f, Header(3));
  Append(f, Record(0, lnImage, 0, 10));
  WriteBytes(dir.File("p.mvf"), f);
  TLayerBox box;
  TProjectClipList clips;
  TRead r = ReadInto(dir.File("p.mvf"), box, clips);
  EXPECT_EQ(r.Result, 0);
  EXPECT_EQ(r.Total, 3);

  // bad enumeration bytes: the block loads with defaults, a link to itself is refused
  std::vector<uint8_t> g;
  Append(g, Header(2));
  TBytes a = MediaRecord(lnImage, 5, 30, static_cast<TClipType>(77), "m.bmp");
  a.U8(5, 9).U8(28, 5).U8(29, 250);
  Append(g, a);
  TBytes s = Record(100, lnAudioFirst, 0, 10);
  s.U8(5, ltAudio).U8(60, 1).I32(64, 1);
  Append(g, s);
  WriteBytes(dir.File("q.mvf"), g);
  TLayerBox box2;
  TScopedMessageRecorder rec;
  r = ReadInto(dir.File("q.mvf"), box2, clips);
  EXPECT_EQ(r.Result, 2);
  const TLayerItem* img = box2.RowByNumber(lnImage)->Items(0);
  EXPECT_EQ(img->StoredMediaType(), ltNone);
  EXPECT_EQ(img->StoredComposeMode(), cmNone);
  EXPECT_EQ(img->UniformColor(), ucNone);
  ASSERT_NE(img->LinkClipGraphic(), nullptr);
  EXPECT_EQ(img->ClipType(), ctStillImage);  // the clip keeps its own type
  EXPECT_EQ(box2.RowByNumber(lnAudioFirst)->Items(0)->LinkSynchronizeItem(), nullptr);
  ASSERT_EQ(rec.Texts().size(), 1u);
  EXPECT_EQ(rec.Texts()[0], "[907] Błąd łączenia bloczków animacji i dźwięku. (ID = 1)");
}

}  // namespace
}  // namespace movara
