#pragma once
// ScriptCommands: the film script language. A script is plain text, one command a line,
// in sections headed by comment lines ("*** Video1 ***", "*** Video2 ***",
// "*** Audio1 ***".."*** Audio3 ***"); all times are milliseconds. This unit parses a
// line into a TScriptCommand (resolving its files through the resource lists), a
// section into a TScriptCommandList, and the two video sections into the time spans of
// a TActionCommandList that the render thread plays.
//
// A command line is: word, argument, then up to five integers (duration, key, spare,
// level, mode; defaults 0, -1, -1, -1, 0). Integers are decimal or "$" hexadecimal.
// File names are single words: blanks, '%', '?', '*' and the control characters in
// them are written %20, %25, %3F, %2A and %00..%1F, %7F. An argument starting with '?' is a compound: every '?' and '*' in it
// stands for a blank, giving a name and four integers.
#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "base/Dib.h"
#include "base/Exceptions.h"
#include "script/ScriptLevelList.h"

namespace movara {

MOVARA_EXCEPTION(EScriptException);

class TAVI;
class TCustomAudioReader;

// Codes of the parsed commands (COL parses as scBitmap).
enum TScriptCode : uint8_t {
  scNone = 0,
  scBitmap = 1,
  scColor = 2,
  scAvi = 3,
  scFx3d = 4,
  scNop = 5,
  scAudio = 6,
  scSampleGroup = 7,
  scSampleLevel = 8
};

// Bit of an effect number that plays the transition backwards.
inline constexpr int32_t ScriptReverseFlag = 0x20000000;

// What a command of a video section makes on its track (the action kinds): nothing (FX,
// SG, SL), a NOP, a picture alone, or a picture followed by FX and a picture. Stored in
// TScriptAction::Kind; the ordinals are those of the script engine.
enum TStepKind : uint8_t {
  skNone = 0,
  skNop = 1,
  skStill = 2,           // BMP or COL alone
  skAvi = 3,             // AVI alone
  skStillFxStill = 4,    // BMP, FX, BMP
  skStillFxAvi = 5,      // BMP, FX, AVI
  skAviFxStill = 6,      // AVI, FX, BMP
  skAviFxAvi = 7         // AVI, FX, AVI
};

// What a command of a sound section makes: nothing, silence (NOP) or a sound (AUD).
enum TAudioKind : uint8_t { aaNone = 0, aaNop = 1, aaAudio = 2 };

// The sections a command list reads: "*** Video%d ***" or "*** Audio%d ***".
enum TScriptListKind { lkVideo = 0, lkAudio = 1 };

// Key modes of picture commands.
inline constexpr int ScriptKeyOnThisLayer = 0;
inline constexpr int ScriptKeyOnOtherLayer = 1;

// ---- words and numbers

// A decimal integer, or hexadecimal after "$" (or "0x"); hexadecimal takes 32 bits, so
// "$FFFFFFFF" is -1. Anything else raises EConvertError.
int32_t ScriptStrToInt(const std::string& Text);

// The blank-separated words of a line (the space character only).
std::vector<std::string> ScriptWords(const std::string& Line);
// The n-th word (from 0); "" when there is none.
std::string GetWord(const std::string& Line, int N);
// Not empty and starting with '*'.
bool IsCommentLine(const std::string& Line);

// What ScanStr stores into: an integer ("%D") or a word ("%S").
using TScanTarget = std::variant<int32_t*, std::string*>;
// Scans the words of Line against the words of Format ("%D" or "%S", either case) into
// Targets in order; stops quietly when the line, the format or the targets run out, so
// missing trailing values leave their targets untouched. Any other format word raises
// EScriptException; a word that is no number where "%D" stands raises EConvertError.
void ScanStr(const std::string& Line, const std::string& Format, const std::vector<TScanTarget>& Targets);

// File names in scripts: blanks, '%', '?', '*' and the control characters (below 0x20,
// and 0x7F) become %20, %25, %3F, %2A, %0A...; other characters stay. Decoding turns
// those escapes back (hex digits in either case) and leaves any other '%' as it is.
std::string EncodeScriptFileName(const std::string& Name);
std::string DecodeScriptFileName(const std::string& Name);

// The lines of a script text (CR LF, LF or CR ends).
std::vector<std::string> SplitScriptLines(const std::string& Text);

// ---- commands

class TScriptCommand {
 public:
  TScriptCommand() = default;
  TScriptCommand(const TScriptCommand&) = delete;
  TScriptCommand& operator=(const TScriptCommand&) = delete;

  uint8_t Code = scNone;
  int32_t Duration = 0;  // ms; for SL the level as written

  // BMP: the picture from "DIBList" (rows flipped) and from "DIBFYList" (as loaded);
  // COL: the colour picture from "DIBColorList" in both.
  TDIB* Picture = nullptr;
  TDIB* SecondPicture = nullptr;
  TColor Color = 0;  // COL
  // AVI: the opened clip from "AVIList", the frames shown, the time offset into the clip
  // and the speed in percent.
  TAVI* Avi = nullptr;
  int32_t FirstFrame = 0;
  int32_t LastFrame = -1;  // -1 = no limit
  int32_t Offset = 0;
  int32_t Speed = 100;     // AVI and AUD
  // FX: the effect identifier (without the reverse flag) and the direction.
  int32_t FxID = 0;
  bool Reverse = false;
  // AUD: the reader from "AudioFileList", the span of the sound in ms (end -1 = to
  // its end) and the level envelope.
  TCustomAudioReader* AudioReader = nullptr;
  int32_t StartPosition = 0;
  int32_t EndPosition = -1;
  std::unique_ptr<TScriptLevelList> LevelList;
  // SG: the count of SL lines; SL: the time (ms from the start of the sound).
  int32_t Count = 0;
  int32_t Time = 0;

  // Pictures: colour key (-1 none), upper end of a key colour range (-1 none), level
  // 0..255 (-1 none) and key mode (0 this picture, 1 the other track's); SL: the level.
  int32_t ColorKey = 0;
  int32_t Spare = 0;
  int32_t Level = 0;
  int32_t KeyMode = 0;

  // The file name as resolved (decoded), for messages and traces.
  std::string FileName;

  bool IsPicture() const { return Code == scBitmap || Code == scAvi; }
};

// One command, or nullptr when the command word is empty or unknown. Files are resolved
// through the resource lists (created when missing); a file, colour or effect that
// cannot be had raises EScriptException, a malformed number EConvertError.
std::unique_ptr<TScriptCommand> ParseScriptLine(const std::string& Line);

// The commands of one section: "*** Video%d ***" (lkVideo) or "*** Audio%d ***" (lkAudio).
class TScriptCommandList {
 public:
  explicit TScriptCommandList(TScriptListKind Kind = lkVideo) : FKind(Kind) {}
  TScriptCommandList(const TScriptCommandList&) = delete;
  TScriptCommandList& operator=(const TScriptCommandList&) = delete;

  TScriptListKind Kind() const { return FKind; }
  // Parses section N of the lines and appends its commands; returns how many. The first
  // bad line raises; the commands before it stay.
  int Generate(const std::vector<std::string>& Lines, int N);

  int Count() const { return static_cast<int>(FItems.size()); }
  TScriptCommand* Commands(int Index) const;
  void Add(std::unique_ptr<TScriptCommand> Command);
  void Clear() { FItems.clear(); }

  // Video sections: what command Index makes (skNone out of range).
  TStepKind StepKind(int Index) const;
  // Sound sections: aaNop for NOP, aaAudio for AUD, aaNone otherwise.
  TAudioKind AudioKind(int Index) const;

 private:
  TScriptListKind FKind;
  std::vector<std::unique_ptr<TScriptCommand>> FItems;
};

// ---- actions

// Flags of an action.
inline constexpr uint8_t afPicture = 0x04;   // shows a picture (the base picture of the frame)
inline constexpr uint8_t afLevel = 0x08;     // its command carries a level
inline constexpr uint8_t afPresent = 0x10;   // present the frame after drawing
inline constexpr uint8_t afNoRender = 0x20;  // copy the picture without rendering
inline constexpr uint8_t afRawCopy = 0x40;   // copied from the AVI without recompression

// One time span of a video track.
struct TScriptAction {
  TStepKind Kind = skNone;  // the StepKind of its command
  int32_t Start = 0;   // ms from the start of the film
  int32_t Length = 0;  // ms
  uint8_t ActionFlags = 0;
  TScriptCommand* CommandA = nullptr;  // the picture (for a transition: the one before)
  TScriptCommand* CommandB = nullptr;  // for a transition: the FX command
  TScriptCommand* CommandC = nullptr;  // for a transition: the picture after
  int32_t Progress = 0;  // transitions: 0..1000 (GetActionAt)
};

inline bool IsTransitionKind(TStepKind Kind) { return Kind >= skStillFxStill && Kind <= skAviFxAvi; }
// A picture alone on its track: a still or a clip.
inline bool IsPlainKind(TStepKind Kind) { return Kind == skStill || Kind == skAvi; }

class TActionCommandList {
 public:
  TActionCommandList();
  TActionCommandList(const TActionCommandList&) = delete;
  TActionCommandList& operator=(const TActionCommandList&) = delete;

  // Parses "*** Video1 ***" and "*** Video2 ***" of the script and builds the actions of
  // both tracks; returns 0. A bad line raises (see TScriptCommandList::Generate).
  int Generate(const std::string& Script);
  // Track 0 (Video1) or 1 (Video2); other values are ignored.
  void SelectTrack(int Track);
  int Track() const { return FTrack; }

  TScriptCommandList& CommandList(int Track) { return Track == 1 ? FVideo2 : FVideo1; }
  int ActionCount() const { return static_cast<int>(FActions[FTrack].size()); }
  // nullptr out of range.
  TScriptAction* Actions(int Index);
  // The action at Time (or the last one) with its progress, and the action after it;
  // both zero when the track has none.
  void GetActionAt(int Time, TScriptAction& Current, TScriptAction& Next) const;
  // The end (ms) of the later of the two tracks: the length of the film's picture.
  int VideoEnd() const;

 private:
  TScriptCommandList FVideo1{lkVideo};
  TScriptCommandList FVideo2{lkVideo};
  std::vector<TScriptAction> FActions[2];
  int FTrack = 0;
};

// Where GetAVIFrame counts the clip's time from: the command's offset (a clip alone), the
// end of the action (the clip a transition goes to), or the command's duration (the
// clip a transition leaves).
enum TAviFrameMode { fmAlone = 0, fmComing = 1, fmLeaving = 2 };

// The clip picture of an AVI command at Time (ms) within Action, counted as Mode says.
// nullptr without a clip, or when the frame cannot be read.
TDIB* GetAVIFrame(const TScriptCommand* Command, const TScriptAction& Action, bool Flip, TAviFrameMode Mode,
                  int Time);
// The clip frame GetAVIFrame reads for the same arguments (before the clip clamps it).
int AVIFrameOf(const TScriptCommand& Command, const TScriptAction& Action, TAviFrameMode Mode, int Time);

// The level (0..255) at Time inside command A, towards the level of the next command B;
// -1 without A, 0 when A has no level.
int InterpolateLevel(const TScriptCommand* A, const TScriptCommand* B, int Time);

}  // namespace movara
