#pragma once
// TScript: the film script of a time line. MakeScript walks the rows of a layer box and
// writes one section per track: "*** Video1 ***" (clip rows A and B merged with the
// transition row into one sequence of pictures and transitions), "*** Video2 ***" (the
// image row, with keying and level envelopes) and "*** Audio1 ***".."*** Audio3 ***"
// (the sound rows with their envelopes). Times in the script are milliseconds; the walk
// itself runs in frames of TimeBase per second. The script is made anew each time.
#include <string>
#include <vector>

#include "project/Layers.h"

namespace movara {

class TScript {
 public:
  TScript() = default;
  TScript(const TScript&) = delete;
  TScript& operator=(const TScript&) = delete;

  // Frames per second of the time line (25 by default); values below 1 are refused.
  int TimeBase() const { return FTimeBase; }
  void SetTimeBase(int Value) {
    if (Value > 0) FTimeBase = Value;
  }

  // The lines, and the text with CR LF after every line.
  const std::vector<std::string>& Lines() const { return FLines; }
  int Count() const { return static_cast<int>(FLines.size()); }
  std::string Text() const;
  // Replaces the lines with those of a text (the script window's edits).
  void SetText(const std::string& Text);
  void Clear() { FLines.clear(); }

  // Rewrites the whole script from the box (the range and sequence rows write nothing);
  // true.
  bool MakeScript(TLayerBox* Box);
  // One section from a main row and up to two more rows (the transition row and clip
  // row B for Video1); false when a block of an unexpected type was met. A section that
  // writes no command loses its header unless KeepEmptyHeader.
  bool MakeScriptVideo(TLayerRow* MainRow, TLayerRow* SecondRow, TLayerRow* ThirdRow, bool KeepEmptyHeader);
  TLayerBox* LayerBox() const { return FBox; }
  // Commands written in the section being made (or last made).
  int CommandCount() const { return FCommandCount; }

  // ---- line writers (durations in frames; start, end and offset of clips in frames
  // from the block's start)
  void AddNop(int Frames);
  void AddFx3d(const TLayerItem* Item, int Frames);
  void AddBitmap(TLayerItem* Item, int Frames);
  void AddColor(TLayerItem* Item, int Frames);
  void AddAVI(TLayerItem* Item, int Start, int End, int Speed, int Frames, int Offset);
  void AddAudio(TLayerItem* Item, int Start, int Frames);
  // A block whose medium is missing: black in Video1, nothing in Video2 (the film track
  // shows), silence in a sound section; the block keeps its time either way.
  void AddMissing(TLayerItem* Item, int Frames);

  // Frames as milliseconds, never negative.
  int FramesToMs(int64_t Frames) const;
  // The clip frame of a number of time-line frames, at the clip's own frame rate.
  int AVIFrameOf(const TLayerItem* Item, int Frames) const;
  // An envelope level in percent as a script level (0..255).
  static int ScriptLevelOf(int Percent);

 private:
  enum TSection { ssNone, ssVideo1, ssVideo2, ssAudio };

  TLayerItem* NextBlock(int Position);
  TLayerItem* ChooseBlock(TLayerItem* A, TLayerItem* T, TLayerItem* B) const;
  TLayerItem* FirstUnchecked(int RowIndex);
  void Reopen(TLayerItem* Item);
  void WriteClip(TLayerItem* Current, TLayerItem* Previous, TLayerItem* Next, int Old, int Delay);
  void AddStill(TLayerItem* Item, int Frames, bool Colour);
  void AddPictureLine(const std::string& Head, bool Avi, int Ms, int Key, int Level, int Mode);
  void Add(const std::string& Line);

  std::vector<std::string> FLines;
  int FTimeBase = DefaultTimeBase;
  int FCommandCount = 0;
  int FPos = 0;    // P, frames
  int FDelay = 0;  // D, frames
  TLayerItem* FCurrentItem = nullptr;
  TLayerItem* FNextItem = nullptr;
  TLayerItem* FPrevItem = nullptr;
  TLayerBox* FBox = nullptr;
  TSection FSection = ssNone;
  TLayerRow* FRows[3] = {nullptr, nullptr, nullptr};
  int FCursor[3] = {0, 0, 0};  // blocks before it in its row are all checked
  int FBlockTotal = 0;
};

}  // namespace movara
