#include "script/Script.h"

#include <algorithm>

#include "base/AppPaths.h"
#include "base/Format.h"
#include "base/Rounding.h"
#include "base/Trace.h"
#include "base/UserMessages.h"
#include "project/ClipGraphic.h"
#include "script/ScriptCommands.h"

namespace movara {

namespace {

bool IsTransition(const TLayerItem* Item) { return Item && Item->MediaType() == ltFx3d; }
bool OnClipRow(const TLayerItem* Item) { return Item && Item->LayerType() == ltBmpAvi; }

// A block whose medium could not be loaded: it keeps its place but shows nothing.
bool IsMissing(const TLayerItem* Item) {
  const TClipGraphic* clip = Item->LinkClipGraphic();
  return clip && clip->Missing();
}

bool IsAudioNumber(TLayerNumber n) { return n == lnAudioFirst || n == lnAudioSecond || n == lnAudioThird; }

// The file of a block as a script word.
std::string FileOf(const TLayerItem* Item) {
  const TClipGraphic* clip = Item->LinkClipGraphic();
  if (!clip) return {};
  return EncodeScriptFileName(ShortPathName(clip->FullFileName()));
}

int KeyModeOf(const TLayerItem* Item) {
  switch (Item->ComposeMode()) {
    case cmKeyOnThisLayer: return ScriptKeyOnThisLayer;
    case cmKeyOnOtherLayer: return ScriptKeyOnOtherLayer;
    default: return -1;
  }
}

int ColorKeyOf(const TLayerItem* Item) {
  return Item->UseColorKey() ? static_cast<int>(Item->ColorKey()) : -1;
}

// The envelope when it differs from the row's default (two points at DefaultLevel).
const TLevelBox* ChangedEnvelope(const TLayerItem* Item, int DefaultLevel) {
  const TLevelBox* lb = Item->LevelBoxIfAny();
  if (!lb) return nullptr;
  if (lb->Count() == 2 && lb->Points(0)->Level == DefaultLevel && lb->Points(1)->Level == DefaultLevel)
    return nullptr;
  return lb;
}

// Segment lengths of an envelope for a span of Frames: point i lasts until point i+1
// (the last point 0), and the span cuts the segment that would pass its end.
template <class F>
void ForEachSegment(const TLevelBox* Envelope, int Frames, F&& Write) {
  for (int i = 0; i < Envelope->Count(); ++i) {
    const TLevelItem* p = Envelope->Points(i);
    int segment = i + 1 < Envelope->Count() ? Envelope->Points(i + 1)->Frame - p->Frame : 0;
    bool last = false;
    if (Frames < segment) {
      segment = Frames;
      last = true;
    }
    Frames -= segment;
    Write(segment, p->Level);
    if (last) break;
  }
}

}  // namespace

std::string TScript::Text() const {
  std::string s;
  for (const std::string& l : FLines) {
    s += l;
    s += "\r\n";
  }
  return s;
}

void TScript::SetText(const std::string& Text) { FLines = SplitScriptLines(Text); }

void TScript::Add(const std::string& Line) {
  FLines.push_back(Line);
  ++FCommandCount;
}

int TScript::FramesToMs(int64_t Frames) const {
  int64_t ms = FramesToMilliseconds(Frames, FTimeBase);
  return static_cast<int>(std::clamp<int64_t>(ms, 0, 0x7FFFFFFF));
}

int TScript::AVIFrameOf(const TLayerItem* Item, int Frames) const {
  const TClipGraphic* clip = Item ? Item->LinkClipGraphic() : nullptr;
  const long double rate = clip ? clip->MovieTimeBase() : FTimeBase;
  // a damaged clip's rate must not carry the frame number past the integer range
  const long double frame = std::clamp<long double>(rate * Frames / FTimeBase, -2147483648.0L, 2147483647.0L);
  return static_cast<int>(RoundHalfEven(frame));
}

int TScript::ScriptLevelOf(int Percent) {
  return static_cast<int>(RoundHalfEven(static_cast<long double>(Percent) * 255 / 100));
}

// ---------------------------------------------------------------------------------
// Line writers

void TScript::AddNop(int Frames) {
  const int ms = FramesToMs(Frames);
  Add(ms <= 0 ? std::string("Nop null") : Format("Nop null %d", ms));
}

void TScript::AddFx3d(const TLayerItem* Item, int Frames) {
  const unsigned id = Item ? static_cast<unsigned>(Item->Fx3dID()) : 0u;
  const int ms = FramesToMs(Frames);
  Add(ms == 0 ? Format("Fx  $%X", id) : Format("Fx  $%X %d", id, ms));
}

// Head: "Bmp <file>", "Col $<colour>" or "Avi ?<file>*<first>*<last>*<offset>*<speed>";
// the variant follows from the key mode, the level and the colour key.
void TScript::AddPictureLine(const std::string& Head, bool Avi, int Ms, int Key, int Level, int Mode) {
  std::string line = Head + Format(" %d", Ms);
  const unsigned key = static_cast<unsigned>(Key);
  const char* keyFormat = Avi ? " $%X" : " $%.8X";
  if (Mode == 0 || Mode == 1) {
    line += Format(keyFormat, key);
    line += Avi ? Format(" $%X %d %d", 0xFFFFFFFFu, Level, Mode) : Format(" %d %d %d", -1, Level, Mode);
  } else if (Level != -1) {
    line += Format(keyFormat, key);
    line += Avi ? Format(" $%X %d", 0xFFFFFFFFu, Level) : Format(" %d %d", -1, Level);
  } else if (Key != -1) {
    line += Format(keyFormat, key);
  }
  Add(line);
}

void TScript::AddStill(TLayerItem* Item, int Frames, bool Colour) {
  if (FSection != ssVideo1 && FSection != ssVideo2) return;
  const std::string head = Colour ? Format("Col $%.8X", static_cast<unsigned>(Item->UniformColorValue()))
                                  : "Bmp " + FileOf(Item);
  const int key = ColorKeyOf(Item);
  const int mode = KeyModeOf(Item);
  const TLevelBox* envelope = FSection == ssVideo2 ? ChangedEnvelope(Item, 100) : nullptr;
  if (envelope) {
    ForEachSegment(envelope, Frames, [&](int segment, int percent) {
      AddPictureLine(head, false, FramesToMs(segment), key, ScriptLevelOf(percent), mode);
    });
  } else {
    AddPictureLine(head, false, FramesToMs(Frames), key, -1, mode);
  }
}

void TScript::AddBitmap(TLayerItem* Item, int Frames) {
  if (!Item) {
    Trace("[AddBitmap] AItem = nil. Skipped.");
    return;
  }
  AddStill(Item, Frames, false);
}

void TScript::AddColor(TLayerItem* Item, int Frames) {
  if (!Item) {
    Trace("[AddColor] AItem = nil. Skipped.");
    return;
  }
  AddStill(Item, Frames, true);
}

void TScript::AddAVI(TLayerItem* Item, int Start, int End, int Speed, int Frames, int Offset) {
  if (!Item) {
    Trace("[AddAVI] AItem = nil. Skipped.");
    return;
  }
  if (FSection != ssVideo1 && FSection != ssVideo2) return;
  Start += Item->OffsetFrame();
  End += Item->OffsetFrame();
  const std::string file = FileOf(Item);
  const int key = ColorKeyOf(Item);
  const int mode = KeyModeOf(Item);
  const TLevelBox* envelope = FSection == ssVideo2 ? ChangedEnvelope(Item, 100) : nullptr;
  if (envelope) {
    ForEachSegment(envelope, Frames, [&](int segment, int percent) {
      const std::string head = Format("Avi ?%s*%d*%d*%d*%d", file.c_str(), AVIFrameOf(Item, Start),
                                      AVIFrameOf(Item, Start + segment), 0, Speed);
      AddPictureLine(head, true, FramesToMs(segment), key, ScriptLevelOf(percent), mode);
      Start += segment;
    });
  } else {
    const std::string head = Format("Avi ?%s*%d*%d*%d*%d", file.c_str(), AVIFrameOf(Item, Start),
                                    AVIFrameOf(Item, End), FramesToMs(Offset), Speed);
    AddPictureLine(head, true, FramesToMs(Frames), key, -1, mode);
  }
}

void TScript::AddMissing(TLayerItem* Item, int Frames) {
  TraceF("[TScript.AddMissing] \"%s\" is missing: its %d frames stay empty.",
         Item->LinkClipGraphic()->FullFileName().c_str(), Frames);
  if (FSection == ssVideo1) {
    // black, a picture that transitions next to it can blend with
    Add(Format("Col $%.8X %d", 0u, FramesToMs(Frames)));
  } else {
    // the image row shows the film track through it; a sound row is silent
    AddNop(Frames);
  }
}

void TScript::AddAudio(TLayerItem* Item, int Start, int Frames) {
  if (!Item) {
    Trace("[AddAudio] AItem = nil. Skipped.");
    return;
  }
  const int start = FramesToMs(static_cast<int64_t>(Item->OffsetFrame()) + Start);
  const int length = FramesToMs(Frames);
  const int end = static_cast<int>(std::min<int64_t>(static_cast<int64_t>(start) + length, 0x7FFFFFFF));
  Add(Format("Aud ?%s*%d*%d*0*%d %d", FileOf(Item).c_str(), start, end, Item->Speed(), length));
  if (const TLevelBox* envelope = ChangedEnvelope(Item, 50)) {
    Add(Format("sg %d", envelope->Count()));
    for (int i = 0; i < envelope->Count(); ++i) {
      const TLevelItem* p = envelope->Points(i);
      Add(Format("sl %d %d", FramesToMs(p->Frame), p->Level));
    }
  }
}

// ---------------------------------------------------------------------------------
// The walk

TLayerItem* TScript::FirstUnchecked(int RowIndex) {
  TLayerRow* row = FRows[RowIndex];
  if (!row) return nullptr;
  int& k = FCursor[RowIndex];
  while (k < row->ItemCount() && row->Items(k)->Checked()) ++k;
  return k < row->ItemCount() ? row->Items(k) : nullptr;
}

void TScript::Reopen(TLayerItem* Item) {
  Item->SetChecked(false);
  for (int r = 0; r < 3; ++r)
    if (FRows[r] && Item->Parent() == FRows[r]) {
      const int index = FRows[r]->IndexOf(Item);
      if (index >= 0) FCursor[r] = std::min(FCursor[r], index);
    }
}

TLayerItem* TScript::ChooseBlock(TLayerItem* A, TLayerItem* T, TLayerItem* B) const {
  const TLayerItem* C = FCurrentItem;
  // a transition that closes the current clip leaves the clip of row A for later
  if (A && T && C && !IsTransition(C) && A->FirstFrame() == T->FirstFrame() && T->LastFrame() == C->LastFrame() &&
      C->FirstFrame() < A->FirstFrame())
    A = nullptr;
  // B ends first of three that begin together: B goes first
  if (A && T && B && A->FirstFrame() == T->FirstFrame() && T->FirstFrame() == B->FirstFrame() &&
      B->LastFrame() < A->LastFrame()) {
    A = nullptr;
    T = nullptr;
  }
  if (A && T && C && !IsTransition(C) && A->FirstFrame() == T->FirstFrame() && T->FirstFrame() == C->FirstFrame() &&
      C->LastFrame() < A->LastFrame())
    A = nullptr;
  TLayerItem* best = nullptr;
  for (TLayerItem* x : {A, T, B})
    if (x && (!best || x->FirstFrame() < best->FirstFrame())) best = x;
  return best;
}

TLayerItem* TScript::NextBlock(int Position) {
  // every pass marks a block; a re-opened block can come back, so passes are bounded
  const int passes = FBlockTotal + 2;
  for (int pass = 0; pass < passes; ++pass) {
    TLayerItem* chosen = ChooseBlock(FirstUnchecked(0), FirstUnchecked(1), FirstUnchecked(2));
    if (!chosen) return nullptr;
    if (FPrevItem && FCurrentItem) {
      TLayerItem* p = FPrevItem;
      if (OnClipRow(p) && OnClipRow(chosen) && p->FirstFrame() < chosen->FirstFrame() &&
          chosen->LastFrame() < p->LastFrame())
        Reopen(p);
      if (OnClipRow(p) && OnClipRow(FCurrentItem) && p->FirstFrame() < FCurrentItem->FirstFrame() &&
          FCurrentItem->LastFrame() < p->LastFrame())
        Reopen(p);
    }
    chosen->SetChecked(true);
    if (chosen->LastFrame() >= Position) return chosen;
  }
  TraceF("[TScript.NextBlock] No block found after %d passes at frame %d.", passes, Position);
  return nullptr;
}

void TScript::WriteClip(TLayerItem* C, TLayerItem* Previous, TLayerItem* Next, int Old, int Delay) {
  const int cf = C->FirstFrame();
  int end = (Next && Next->LastFrame() < C->LastFrame()) ? Next->FirstFrame() - cf : C->LastFrame() - cf;
  int start = 0;
  int offset = 0;
  const char* how = "C";
  if (!IsTransition(Previous)) {
    start = Old - cf;
    if (cf == Old && Delay == C->Duration()) end = start + Delay;
  } else {
    // the clip enters through the transition before it
    start = Previous->FirstFrame() - cf;
    if (cf < Previous->FirstFrame()) {
      offset = Previous->Duration();
      how = "A";
    } else {
      offset = Old - cf;
      how = "B";
    }
  }
  if (IsTransition(Next) && Next->LastFrame() < C->LastFrame()) {
    end = Next->LastFrame() - cf;
    TraceF("[TScript.MakeScriptVideo] (%s) Fx3d - AVI - Fx3d (PrevPos = %d, Delay = %d)", how, Old, Delay);
  }
  if (FSection == ssVideo1 || FSection == ssVideo2)
    AddAVI(C, start, end, C->Speed(), Delay, offset);
  else if (FSection == ssAudio)
    AddAudio(C, start, Delay);
}

bool TScript::MakeScriptVideo(TLayerRow* MainRow, TLayerRow* SecondRow, TLayerRow* ThirdRow, bool KeepEmptyHeader) {
  if (!MainRow) return true;
  const TLayerNumber ln = MainRow->LayerNumber();
  if (ln < lnImage) return true;
  if ((ln == lnImage || IsAudioNumber(ln)) && MainRow->ItemCount() == 0) return true;
  if (ln == lnFirstClipTop) {
    const TLayerRow* bottom = ThirdRow;
    if (!bottom && MainRow->Box()) bottom = MainRow->Box()->RowByNumber(lnFirstClipBottom);
    if (MainRow->ItemCount() == 0 && (!bottom || bottom->ItemCount() == 0)) return true;
  }

  std::string header;
  switch (ln) {
    case lnImage: header = "*** Video2 ***"; FSection = ssVideo2; break;
    case lnFirstClipTop:
    case lnFirstFx3d:
    case lnFirstClipBottom: header = "*** Video1 ***"; FSection = ssVideo1; break;
    case lnAudioFirst: header = "*** Audio1 ***"; FSection = ssAudio; break;
    case lnAudioSecond: header = "*** Audio2 ***"; FSection = ssAudio; break;
    case lnAudioThird: header = "*** Audio3 ***"; FSection = ssAudio; break;
    default: header = "*** ?????? ***"; FSection = ssNone; break;
  }
  const size_t headerIndex = FLines.size();
  FLines.push_back(header);

  FCommandCount = 0;
  FPos = 0;
  FDelay = 0;
  FCurrentItem = FNextItem = FPrevItem = nullptr;
  FRows[0] = MainRow;
  FRows[1] = SecondRow;
  FRows[2] = ThirdRow;
  FBlockTotal = 0;
  for (int r = 0; r < 3; ++r) {
    FCursor[r] = 0;
    if (!FRows[r]) continue;
    FBlockTotal += FRows[r]->ItemCount();
    for (int i = 0; i < FRows[r]->ItemCount(); ++i) FRows[r]->Items(i)->SetChecked(false);
  }

  bool result = true;
  // a block is written once, and once more after each block that interrupts it
  const int64_t steps = 4 * static_cast<int64_t>(FBlockTotal) + 8;
  for (int64_t step = 0;; ++step) {
    FPrevItem = FCurrentItem;
    FCurrentItem = FNextItem;
    FNextItem = NextBlock(FPos);
    TLayerItem* previous = FPrevItem;
    TLayerItem* current = FCurrentItem;
    TLayerItem* next = FNextItem;

    if ((!current && !next) || step >= steps) {
      if (current || next) {
        Trace("[TScript.MakeScriptVideo] The walk does not end; section cut short.");
        result = false;
      }
      if (FCommandCount > 0)
        AddNop(0);
      else if (!KeepEmptyHeader)
        FLines.erase(FLines.begin() + static_cast<std::ptrdiff_t>(headerIndex));
      break;
    }

    int old = FPos;
    if (previous && current && previous->LastFrame() < current->FirstFrame()) {
      FPos = current->FirstFrame();
      AddNop(FPos - old);
      old = FPos;
    }
    if (IsTransition(previous) && IsTransition(current) && previous->LastFrame() == current->FirstFrame()) AddNop(0);

    if (IsTransition(current) || !next) {
      FPos = current->LastFrame();
    } else if (current != next) {
      FPos = next->FirstFrame();
      if (current && current->LastFrame() < next->FirstFrame()) FPos = current->LastFrame();
      if (IsTransition(previous) && next->FirstFrame() < previous->LastFrame()) FPos = previous->LastFrame();
    }
    FDelay = FPos - old;
    if (FDelay < 0) {
      ShowMessage("[1004] Błąd generowania skryptu: Delay < 0", TMsgKind::Error);
      FDelay = 0;
    }

    if (current && IsMissing(current)) {
      AddMissing(current, FDelay);
    } else if (current) {
      switch (current->MediaType()) {
        case ltBmpAvi:
        case ltAudio:
        case ltImage:
          switch (current->ClipType()) {
            case ctStillImage: AddBitmap(current, FDelay); break;
            case ctAnimation:
            case ctAudio:
            case ctMovie: WriteClip(current, previous, next, old, FDelay); break;
            case ctUniformColor: AddColor(current, FDelay); break;
            default:
              // a block that shows nothing still takes its time
              Trace("[TScript.MakeScriptVideo] Block without a clip written as a pause.");
              AddNop(FDelay);
              break;
          }
          break;
        case ltFx3d: AddFx3d(current, FDelay); break;
        default:
          Trace("[TScript 03] Unknown TLayerItem.LayerType.");
          result = false;
          break;
      }
    } else {
      switch (next->MediaType()) {
        case ltBmpAvi:
        case ltAudio:
        case ltImage:
        case ltFx3d:
          if (FDelay > 0 || IsTransition(next)) AddNop(FDelay);
          break;
        default:
          ShowMessage("[1001] Błąd generowania skryptu: LayerType = ltNone", TMsgKind::Error);
          result = false;
          break;
      }
    }
  }
  FRows[0] = FRows[1] = FRows[2] = nullptr;
  return result;
}

bool TScript::MakeScript(TLayerBox* Box) {
  Clear();
  FBox = Box;
  if (Box) {
    MakeScriptVideo(Box->RowByNumber(lnFirstClipTop), Box->RowByNumber(lnFirstFx3d),
                    Box->RowByNumber(lnFirstClipBottom), true);
    MakeScriptVideo(Box->RowByNumber(lnImage), nullptr, nullptr, false);
    MakeScriptVideo(Box->RowByNumber(lnAudioFirst), nullptr, nullptr, false);
    MakeScriptVideo(Box->RowByNumber(lnAudioSecond), nullptr, nullptr, false);
    MakeScriptVideo(Box->RowByNumber(lnAudioThird), nullptr, nullptr, false);
  }
  Trace("[TScript]");
  Trace(Text());
  return true;
}

}  // namespace movara
