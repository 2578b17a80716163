#include "script/ScriptCommands.h"

#include <algorithm>
#include <cctype>
#include <limits>

#include "base/Format.h"
#include "base/Rounding.h"
#include "base/Trace.h"
#include "fx3d/FxList.h"
#include "media/Avi.h"
#include "media/ResourceLists.h"

namespace movara {

namespace {

[[noreturn]] void ThrowNotInteger(const std::string& text) {
  throw EConvertError(Format("'%s' is not a valid integer value", text.c_str()));
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The argument of a compound ("?name*1*2*3*4") with every '?' and '*' made a blank.
std::string CompoundText(const std::string& argument) {
  std::string s = argument;
  for (char& c : s)
    if (c == '?' || c == '*') c = ' ';
  return s;
}

bool IsCompound(const std::string& argument) { return !argument.empty() && argument[0] == '?'; }

[[noreturn]] void ThrowLoadError(const std::string& argument) {
  throw EScriptException(
      Format("[Lista komend] Nastąpił błąd w trakcie ładowania pliku \"%s\".", argument.c_str()));
}

int64_t DivRoundHalfEven(int64_t num, int64_t den) {
  return RoundHalfEven(static_cast<long double>(num) / static_cast<long double>(den));
}

int32_t Saturate32(int64_t v) {
  return static_cast<int32_t>(
      std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

void EnsureLists() {
  if (!DIBList() || !DIBFYList() || !AVIList() || !DIBColorList() || !AudioFileList()) CreateResourceLists();
}

}  // namespace

// ---------------------------------------------------------------------------------
// Words and numbers

int32_t ScriptStrToInt(const std::string& Text) {
  size_t i = 0;
  bool negative = false;
  if (i < Text.size() && (Text[i] == '+' || Text[i] == '-')) {
    negative = Text[i] == '-';
    ++i;
  }
  bool hex = false;
  if (i < Text.size() && Text[i] == '$') {
    hex = true;
    ++i;
  } else if (i + 1 < Text.size() && Text[i] == '0' && (Text[i + 1] == 'x' || Text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i >= Text.size()) ThrowNotInteger(Text);
  uint64_t value = 0;
  for (; i < Text.size(); ++i) {
    int d = hex ? HexDigit(Text[i]) : (std::isdigit(static_cast<unsigned char>(Text[i])) ? Text[i] - '0' : -1);
    if (d < 0) ThrowNotInteger(Text);
    value = value * (hex ? 16 : 10) + static_cast<uint64_t>(d);
    if (value > (hex ? 0xFFFFFFFFull : 0x80000000ull)) ThrowNotInteger(Text);
  }
  if (hex) {
    // 32 bits as written, then the sign
    int32_t v = static_cast<int32_t>(static_cast<uint32_t>(value));
    return negative ? static_cast<int32_t>(0u - static_cast<uint32_t>(v)) : v;
  }
  if (negative) return static_cast<int32_t>(-static_cast<int64_t>(value));
  if (value > 0x7FFFFFFFull) ThrowNotInteger(Text);
  return static_cast<int32_t>(value);
}

std::vector<std::string> ScriptWords(const std::string& Line) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < Line.size()) {
    while (i < Line.size() && Line[i] == ' ') ++i;
    if (i >= Line.size()) break;
    size_t j = Line.find(' ', i);
    if (j == std::string::npos) j = Line.size();
    words.push_back(Line.substr(i, j - i));
    i = j;
  }
  return words;
}

std::string GetWord(const std::string& Line, int N) {
  if (N < 0) return {};
  std::vector<std::string> words = ScriptWords(Line);
  return static_cast<size_t>(N) < words.size() ? words[static_cast<size_t>(N)] : std::string();
}

bool IsCommentLine(const std::string& Line) { return !Line.empty() && Line[0] == '*'; }

void ScanStr(const std::string& Line, const std::string& Fmt, const std::vector<TScanTarget>& Targets) {
  std::vector<std::string> words = ScriptWords(Line);
  std::vector<std::string> formats = ScriptWords(Fmt);
  size_t n = std::min(words.size(), formats.size());
  for (size_t k = 0; k < n && k < Targets.size(); ++k) {
    const std::string& f = formats[k];
    bool isInt = f == "%D" || f == "%d";
    bool isStr = f == "%S" || f == "%s";
    if (!isInt && !isStr) throw EScriptException(Format("Error in ScanStr. Cannot read type \"%s\"", f.c_str()));
    if (isInt) {
      int32_t* const* target = std::get_if<int32_t*>(&Targets[k]);
      if (!target || !*target)
        throw EScriptException(Format("Error in ScanStr. Target %d cannot take \"%s\"", static_cast<int>(k), f.c_str()));
      **target = ScriptStrToInt(words[k]);
    } else {
      std::string* const* target = std::get_if<std::string*>(&Targets[k]);
      if (!target || !*target)
        throw EScriptException(Format("Error in ScanStr. Target %d cannot take \"%s\"", static_cast<int>(k), f.c_str()));
      **target = words[k];
    }
  }
}

namespace {

// The characters a file name in a script cannot hold as they are: the word separator,
// the escape itself, the two compound separators, and the control characters (a line
// break would split the line).
bool EscapedInScript(unsigned char c) { return c == ' ' || c == '%' || c == '?' || c == '*' || c < 0x20 || c == 0x7F; }

}  // namespace

std::string EncodeScriptFileName(const std::string& Name) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(Name.size());
  for (char c : Name) {
    const auto u = static_cast<unsigned char>(c);
    if (EscapedInScript(u)) {
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 15];
    } else {
      out += c;
    }
  }
  return out;
}

std::string DecodeScriptFileName(const std::string& Name) {
  std::string out;
  out.reserve(Name.size());
  for (size_t i = 0; i < Name.size(); ++i) {
    if (Name[i] == '%' && i + 2 < Name.size()) {
      int hi = HexDigit(Name[i + 1]);
      int lo = HexDigit(Name[i + 2]);
      if (hi >= 0 && lo >= 0) {
        const auto c = static_cast<unsigned char>(hi * 16 + lo);
        if (EscapedInScript(c)) {
          out += static_cast<char>(c);
          i += 2;
          continue;
        }
      }
    }
    out += Name[i];
  }
  return out;
}

std::vector<std::string> SplitScriptLines(const std::string& Text) {
  std::vector<std::string> lines;
  size_t i = 0;
  while (i < Text.size()) {
    size_t j = Text.find_first_of("\r\n", i);
    if (j == std::string::npos) {
      lines.push_back(Text.substr(i));
      break;
    }
    lines.push_back(Text.substr(i, j - i));
    i = j + ((Text[j] == '\r' && j + 1 < Text.size() && Text[j + 1] == '\n') ? 2 : 1);
  }
  return lines;
}

// ---------------------------------------------------------------------------------
// One line

std::unique_ptr<TScriptCommand> ParseScriptLine(const std::string& Line) {
  std::string word, argument;
  int32_t duration = 0, key = -1, spare = -1, level = -1, mode = 0;
  ScanStr(Line, "%s %s %d %d %d %d %d", {&word, &argument, &duration, &key, &spare, &level, &mode});

  const std::string upper = UpperCase(word);
  uint8_t code = scNone;
  if (upper == "BMP") code = scBitmap;
  else if (upper == "COL") code = scColor;
  else if (upper == "AVI") code = scAvi;
  else if (upper == "FX") code = scFx3d;
  else if (upper == "NOP") code = scNop;
  else if (upper == "AUD") code = scAudio;
  else if (upper == "SG") code = scSampleGroup;
  else if (upper == "SL") code = scSampleLevel;
  if (code == scNone) return nullptr;

  auto c = std::make_unique<TScriptCommand>();
  c->Code = code;
  c->Duration = duration;
  switch (code) {
    case scBitmap: {
      EnsureLists();
      c->FileName = DecodeScriptFileName(argument);
      c->Picture = c->FileName.empty() ? nullptr : DIBList()->GetItem(c->FileName, true);
      c->SecondPicture = c->Picture ? DIBFYList()->GetItem(c->FileName, false) : nullptr;
      if (!c->Picture || !c->SecondPicture) ThrowLoadError(argument);
      c->ColorKey = key;
      c->Spare = spare;
      c->Level = level;
      c->KeyMode = mode;
      break;
    }
    case scColor: {
      EnsureLists();
      c->Code = scBitmap;
      if (argument.empty()) ThrowLoadError(argument);
      int32_t colour = 0;
      ScanStr(argument, "%d", {&colour});
      c->Color = static_cast<TColor>(colour);
      c->Picture = DIBColorList()->GetItem(c->Color, false);
      c->SecondPicture = c->Picture;
      if (!c->Picture) ThrowLoadError(argument);
      c->ColorKey = key;
      c->Spare = spare;
      c->Level = level;
      c->KeyMode = mode;
      break;
    }
    case scAvi: {
      EnsureLists();
      c->FirstFrame = 0;
      c->LastFrame = -1;
      c->Offset = 0;
      c->Level = level;
      c->Speed = 100;
      std::string name = argument;
      std::string shown = argument;
      if (IsCompound(argument)) {
        shown = CompoundText(argument);
        name.clear();
        ScanStr(shown, "%s %d %d %d %d", {&name, &c->FirstFrame, &c->LastFrame, &c->Offset, &c->Speed});
      }
      if (c->Speed == 0) c->Speed = 100;
      c->FileName = DecodeScriptFileName(name);
      c->Avi = c->FileName.empty() ? nullptr : AVIList()->GetItem(c->FileName, false);
      if (!c->Avi || !c->Avi->Opened() || c->Avi->DIB()->Empty()) ThrowLoadError(shown);
      c->ColorKey = key;
      c->Spare = spare;
      c->KeyMode = mode;
      break;
    }
    case scFx3d: {
      int32_t number = -1;
      ScanStr(argument, "%d", {&number});
      if (number != -1) {
        c->Reverse = (number & ScriptReverseFlag) != 0;
        number &= ~ScriptReverseFlag;
      }
      c->FxID = number;
      if (!EnsureFxList().FindByID(number))
        throw EScriptException(
            Format("[Lista komend] Nastąpił błąd w trakcie rozpoznania efektu \"%s\".", argument.c_str()));
      break;
    }
    case scAudio: {
      EnsureLists();
      c->StartPosition = 0;
      c->EndPosition = -1;
      c->Speed = 100;
      std::string name = argument;
      std::string shown = argument;
      if (IsCompound(argument)) {
        shown = CompoundText(argument);
        name.clear();
        int32_t dropped = 0;
        ScanStr(shown, "%s %d %d %d %d", {&name, &c->StartPosition, &c->EndPosition, &dropped, &c->Speed});
      }
      if (c->Speed < 0) c->Speed = 100;
      c->FileName = DecodeScriptFileName(name);
      c->AudioReader = c->FileName.empty() ? nullptr : AudioFileList()->GetItem(c->FileName);
      if (!c->AudioReader) ThrowLoadError(shown);
      c->LevelList = std::make_unique<TScriptLevelList>();
      // level 50 is unity: gain = level / 50
      c->LevelList->Setup(duration, 0, 22050, 50, 0, 50, 100);
      c->LevelList->ResetLevels();
      break;
    }
    case scSampleGroup:
      ScanStr(argument, "%d", {&c->Count});
      break;
    case scSampleLevel:
      c->Level = duration;
      if (!argument.empty()) ScanStr(argument, "%d", {&c->Time});
      break;
    default:  // NOP
      break;
  }
  return c;
}

// ---------------------------------------------------------------------------------
// TScriptCommandList

TScriptCommand* TScriptCommandList::Commands(int Index) const {
  if (Index < 0 || Index >= Count()) return nullptr;
  return FItems[static_cast<size_t>(Index)].get();
}

void TScriptCommandList::Add(std::unique_ptr<TScriptCommand> Command) {
  if (Command) FItems.push_back(std::move(Command));
}

int TScriptCommandList::Generate(const std::vector<std::string>& Lines, int N) {
  const std::string header = Format(FKind == lkVideo ? "*** Video%d ***" : "*** Audio%d ***", N);
  size_t i = 0;
  while (i < Lines.size() && !SameText(Lines[i], header)) ++i;
  if (i >= Lines.size()) return 0;

  int added = 0;
  for (++i; i < Lines.size() && !IsCommentLine(Lines[i]); ++i) {
    std::unique_ptr<TScriptCommand> parsed = ParseScriptLine(Lines[i]);
    if (!parsed) throw EMovara(Format("Cannot convert script line: %s", Lines[i].c_str()));
    TScriptCommand* command = parsed.get();
    Add(std::move(parsed));
    ++added;

    // An SG line right after the command starts its envelope of k SL lines, when the
    // text is long enough for them; otherwise the SG line is read in its own turn.
    if (i + 1 >= Lines.size() || IsCommentLine(Lines[i + 1]) || !SameText(GetWord(Lines[i + 1], 0), "SG")) continue;
    std::unique_ptr<TScriptCommand> group = ParseScriptLine(Lines[i + 1]);
    const int64_t k = group->Count;
    if (static_cast<int64_t>(Lines.size()) < static_cast<int64_t>(i) + 1 + k) continue;
    ++i;  // the SG line
    for (int64_t j = 0; j < k && i + 1 < Lines.size(); ++j) {
      if (IsCommentLine(Lines[i + 1])) break;
      ++i;
      std::unique_ptr<TScriptCommand> point = ParseScriptLine(Lines[i]);
      if (!point || point->Code != scSampleLevel) {
        Trace("[TScriptCommandList.Generate] Expected command \"scSampleLevel\" but not found.");
        continue;
      }
      if (command->Code == scAudio && command->LevelList)
        command->LevelList->SetLevel(command->LevelList->InsertItem(point->Time), point->Level);
    }
  }
  return added;
}

TStepKind TScriptCommandList::StepKind(int Index) const {
  const TScriptCommand* c = Commands(Index);
  if (!c) return skNone;
  if (c->Code == scNop) return skNop;
  if (!c->IsPicture()) return skNone;
  const TScriptCommand* fx = Commands(Index + 1);
  const TScriptCommand* next = Commands(Index + 2);
  const bool aviA = c->Code == scAvi;
  if (fx && fx->Code == scFx3d && next && next->IsPicture()) {
    const bool aviC = next->Code == scAvi;
    if (aviA) return aviC ? skAviFxAvi : skAviFxStill;
    return aviC ? skStillFxAvi : skStillFxStill;
  }
  return aviA ? skAvi : skStill;
}

TAudioKind TScriptCommandList::AudioKind(int Index) const {
  const TScriptCommand* c = Commands(Index);
  if (!c) return aaNone;
  if (c->Code == scNop) return aaNop;
  if (c->Code == scAudio) return aaAudio;
  return aaNone;
}

// ---------------------------------------------------------------------------------
// TActionCommandList

TActionCommandList::TActionCommandList() = default;

int TActionCommandList::Generate(const std::string& Script) {
  FVideo1.Clear();
  FVideo2.Clear();
  FActions[0].clear();
  FActions[1].clear();
  const std::vector<std::string> lines = SplitScriptLines(Script);
  FVideo1.Generate(lines, 1);
  FVideo2.Generate(lines, 2);

  auto flagsOf = [](const TScriptCommand* c, bool picture) {
    uint8_t f = picture ? afPicture : 0;
    if (c->Level != -1) f |= afLevel;
    return f;
  };
  // A step that shows command c from s on for its duration.
  auto stepOf = [&flagsOf](TStepKind kind, int64_t s, TScriptCommand* c, bool picture) {
    TScriptAction a;
    a.Kind = kind;
    a.Start = Saturate32(s);
    a.Length = c->Duration;
    a.CommandA = c;
    a.ActionFlags = flagsOf(c, picture);
    return a;
  };

  // Track 0: pictures, NOPs and transitions between two pictures.
  int64_t s = 0;
  for (int i = 0; i < FVideo1.Count(); ++i) {
    TScriptCommand* c = FVideo1.Commands(i);
    const TStepKind kind = FVideo1.StepKind(i);
    if (kind == skNone) continue;
    if (!IsTransitionKind(kind)) {
      FActions[0].push_back(stepOf(kind, s, c, kind != skNop));
      s += c->Duration;
      continue;
    }
    TScriptCommand* fx = FVideo1.Commands(i + 1);
    TScriptCommand* after = FVideo1.Commands(i + 2);
    if (c->Duration > 0) {
      FActions[0].push_back(stepOf(c->Code == scAvi ? skAvi : skStill, s, c, true));
      s += c->Duration;
    }
    TScriptAction t;
    t.Kind = kind;
    t.Start = Saturate32(s);
    t.Length = fx->Duration;
    t.CommandA = c;
    t.CommandB = fx;
    t.CommandC = after;
    t.ActionFlags = afPicture;
    t.Progress = 0;
    FActions[0].push_back(t);
    s += t.Length;
  }

  // Track 1: the image row; a transition there shows nothing but takes its time.
  s = 0;
  for (int i = 0; i < FVideo2.Count(); ++i) {
    TScriptCommand* c = FVideo2.Commands(i);
    const TStepKind kind = FVideo2.StepKind(i);
    if (kind == skNone) continue;
    if (!IsTransitionKind(kind)) FActions[1].push_back(stepOf(kind, s, c, false));
    s += c->Duration;
  }
  return 0;
}

void TActionCommandList::SelectTrack(int Track) {
  if (Track == 0 || Track == 1) FTrack = Track;
}

TScriptAction* TActionCommandList::Actions(int Index) {
  auto& list = FActions[FTrack];
  if (Index < 0 || static_cast<size_t>(Index) >= list.size()) return nullptr;
  return &list[static_cast<size_t>(Index)];
}

int TActionCommandList::VideoEnd() const {
  int end = 0;
  for (const std::vector<TScriptAction>& track : FActions)
    if (!track.empty()) end = std::max(end, track.back().Start + track.back().Length);
  return end;
}

void TActionCommandList::GetActionAt(int Time, TScriptAction& Current, TScriptAction& Next) const {
  Current = TScriptAction();
  Next = TScriptAction();
  const auto& list = FActions[FTrack];
  if (list.empty()) return;
  size_t match = list.size() - 1;
  for (size_t k = 0; k < list.size(); ++k) {
    const int64_t start = list[k].Start;
    if (start <= Time && Time < start + list[k].Length) {
      match = k;
      break;
    }
  }
  Current = list[match];
  if (IsTransitionKind(Current.Kind) && Current.Length != 0) {
    int64_t p = DivRoundHalfEven((static_cast<int64_t>(Time) - Current.Start) * 1000, Current.Length);
    // a time outside the span (past the last action) still gives a step of the effect
    p = std::clamp<int64_t>(p, 0, 1000);
    if (Current.CommandB && Current.CommandB->Reverse) p = 1000 - p;
    Current.Progress = static_cast<int32_t>(p);
  }
  if (match + 1 < list.size()) Next = list[match + 1];
}

// ---------------------------------------------------------------------------------
// Frames and levels

int AVIFrameOf(const TScriptCommand& Command, const TScriptAction& Action, TAviFrameMode Mode, int Time) {
  int64_t t = Time;
  switch (Mode) {
    case fmAlone: t = static_cast<int64_t>(Time) + Command.Offset; break;
    case fmComing: t = static_cast<int64_t>(Time) - (static_cast<int64_t>(Action.Length) - Command.Offset); break;
    case fmLeaving: t = static_cast<int64_t>(Command.Duration) + Command.Offset + Time; break;
  }
  if (t < 0) t = 0;
  int64_t frame = static_cast<int64_t>(Command.Avi->MsToFrames(Saturate32(t))) + Command.FirstFrame;
  if (Command.LastFrame != -1 && frame > Command.LastFrame) frame = Command.LastFrame;
  return Saturate32(frame);
}

TDIB* GetAVIFrame(const TScriptCommand* Command, const TScriptAction& Action, bool Flip, TAviFrameMode Mode,
                  int Time) {
  if (!Command || !Command->Avi) return nullptr;
  TAVI* avi = Command->Avi;
  const int frame = AVIFrameOf(*Command, Action, Mode, Time);
  avi->SetFlipDIBY(Flip);
  avi->SetPosition(frame);
  // a frame that cannot be read closes the clip, whose picture still holds an earlier one
  if (!avi->Opened()) return nullptr;
  return avi->DIB();
}

int InterpolateLevel(const TScriptCommand* A, const TScriptCommand* B, int Time) {
  if (!A) return -1;
  if (A->Level == -1) return 0;
  if (B && B->Level != -1) {
    const int start = A->IsPicture() ? A->Level : 0;
    const int end = B->IsPicture() ? B->Level : start;
    if (A->Duration == 0) return start;
    int64_t v = start + DivRoundHalfEven(static_cast<int64_t>(Time) * (end - start), A->Duration);
    return static_cast<int>(std::clamp<int64_t>(v, 0, 255));
  }
  return A->IsPicture() ? A->Level : 0;
}

}  // namespace movara
