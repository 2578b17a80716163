#include "pages/FontItem.h"

#include "base/MyIniFile.h"
#include "pages/PageText.h"

namespace movara {

int PageSizeWidth(TPageSize size) {
  switch (size) {
    case psFullVideo: return 768;
    case psSquare512: return 512;
    default: return 720;
  }
}

int PageSizeHeight(TPageSize size) { return size == psSquare512 ? 512 : 576; }

void TFontItem::Assign(const TFontItem& s) {
  Selected = s.Selected;
  PosX = s.PosX;
  PosY = s.PosY;
  Text = s.Text;
  Bold = s.Bold;
  Italic = s.Italic;
  Underline = s.Underline;
  FontName = s.FontName;
  FontSize = s.FontSize;
  FontColor = s.FontColor;
  TextVisible = s.TextVisible;
  Shadowed = s.Shadowed;
  Outlined = s.Outlined;
  ShadowX = s.ShadowX;
  ShadowY = s.ShadowY;
  OutlineWidth = s.OutlineWidth;
  ShadowColor = s.ShadowColor;
  OutlineColor = s.OutlineColor;
  WordWrap = s.WordWrap;
}

bool TFontItem::SameContent(const TFontItem& o) const {
  return Selected == o.Selected && PosX == o.PosX && PosY == o.PosY && Text == o.Text &&
         Bold == o.Bold && Italic == o.Italic && Underline == o.Underline &&
         FontName == o.FontName && FontSize == o.FontSize && FontColor == o.FontColor &&
         TextVisible == o.TextVisible && Shadowed == o.Shadowed && Outlined == o.Outlined &&
         ShadowX == o.ShadowX && ShadowY == o.ShadowY && OutlineWidth == o.OutlineWidth &&
         ShadowColor == o.ShadowColor && OutlineColor == o.OutlineColor &&
         WordWrap == o.WordWrap;
}

namespace {

TColor ReadColor(const TMyIniFile& ini, const std::string& s, const char* key, TColor def) {
  return static_cast<TColor>(ini.ReadInteger(s, key, static_cast<int>(def)));
}

}  // namespace

void ReadFontItemSettings(const TMyIniFile& ini, const std::string& s, TFontItem& it) {
  it.Selected = ini.ReadBool(s, "Font Item Selected", it.Selected);
  it.PosX = ini.ReadInteger(s, "FontItemFPosX", it.PosX);
  it.PosY = ini.ReadInteger(s, "FontItemFPosY", it.PosY);
  if (ini.ValueExists(s, "FontItem Text"))
    it.Text = LimitTextBytes(DecodeSettingsText(ini.ReadString(s, "FontItem Text", "")),
                             kMaxItemTextBytes);
  it.Bold = ini.ReadBool(s, "FontItem Bold", it.Bold);
  it.Italic = ini.ReadBool(s, "FontItem Italic", it.Italic);
  it.Underline = ini.ReadBool(s, "FontItem Underline", it.Underline);
  it.FontName = LimitTextBytes(ini.ReadString(s, "FontItemFont Name", it.FontName), kMaxItemTextBytes);
  it.FontSize = ini.ReadInteger(s, "FontItemFont Size", it.FontSize);
  it.FontColor = ReadColor(ini, s, "FontItemFont Color", it.FontColor);
  it.TextVisible = ini.ReadBool(s, "FontItemText Visible", it.TextVisible);
  it.Shadowed = ini.ReadBool(s, "FontItem Shadowed", it.Shadowed);
  it.Outlined = ini.ReadBool(s, "FontItem Outlined", it.Outlined);
  it.ShadowX = ini.ReadInteger(s, "FontItem ShadowX", it.ShadowX);
  it.ShadowY = ini.ReadInteger(s, "FontItem ShadowY", it.ShadowY);
  it.OutlineWidth = ini.ReadInteger(s, "FontItem OutlineWidth", it.OutlineWidth);
  it.ShadowColor = ReadColor(ini, s, "FontItem ShadowColor", it.ShadowColor);
  it.OutlineColor = ReadColor(ini, s, "FontItem OutlineColor", it.OutlineColor);
  it.WordWrap = ini.ReadBool(s, "FontItem WordWrap", it.WordWrap);
}

void WriteFontItemSettings(TMyIniFile& ini, const std::string& s, const TFontItem& it) {
  ini.WriteBool(s, "Font Item Selected", it.Selected);
  ini.WriteInteger(s, "FontItemFPosX", it.PosX);
  ini.WriteInteger(s, "FontItemFPosY", it.PosY);
  ini.WriteString(s, "FontItem Text", EncodeSettingsText(it.Text));
  ini.WriteBool(s, "FontItem Bold", it.Bold);
  ini.WriteBool(s, "FontItem Italic", it.Italic);
  ini.WriteBool(s, "FontItem Underline", it.Underline);
  ini.WriteString(s, "FontItemFont Name", it.FontName);
  ini.WriteInteger(s, "FontItemFont Size", it.FontSize);
  ini.WriteInteger(s, "FontItemFont Color", static_cast<int>(it.FontColor));
  ini.WriteBool(s, "FontItemText Visible", it.TextVisible);
  ini.WriteBool(s, "FontItem Shadowed", it.Shadowed);
  ini.WriteBool(s, "FontItem Outlined", it.Outlined);
  ini.WriteInteger(s, "FontItem ShadowX", it.ShadowX);
  ini.WriteInteger(s, "FontItem ShadowY", it.ShadowY);
  ini.WriteInteger(s, "FontItem OutlineWidth", it.OutlineWidth);
  ini.WriteInteger(s, "FontItem ShadowColor", static_cast<int>(it.ShadowColor));
  ini.WriteInteger(s, "FontItem OutlineColor", static_cast<int>(it.OutlineColor));
  ini.WriteBool(s, "FontItem WordWrap", it.WordWrap);
}

}  // namespace movara
