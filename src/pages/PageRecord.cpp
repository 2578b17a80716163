#include "pages/PageRecord.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "base/LittleEndian.h"
#include "base/Trace.h"
#include "pages/PageText.h"

namespace movara {
namespace {

// The 80-byte head of an item (bytes 4 to 79; the first four are the record length,
// left to the caller). Reserved bytes stay zero.
void PutItemHead(uint8_t* h, const TFontItem& it) {
  PutLE32(h + 4, it.Selected ? 1 : 0);
  PutLE32(h + 8, static_cast<uint32_t>(it.PosX));
  PutLE32(h + 12, static_cast<uint32_t>(it.PosY));
  h[16] = it.Bold;
  h[17] = it.Italic;
  h[18] = it.Underline;
  PutLE32(h + 20, static_cast<uint32_t>(it.FontSize));
  PutLE32(h + 24, it.FontColor);
  h[28] = it.TextVisible;
  h[29] = it.Shadowed;
  h[30] = it.Outlined;
  PutLE32(h + 32, static_cast<uint32_t>(it.ShadowX));
  PutLE32(h + 36, static_cast<uint32_t>(it.ShadowY));
  PutLE32(h + 40, static_cast<uint32_t>(it.OutlineWidth));
  PutLE32(h + 44, it.ShadowColor);
  PutLE32(h + 48, it.OutlineColor);
  h[52] = it.WordWrap;
}

// Boolean bytes: any non-zero value is true.
void GetItemHead(const uint8_t* h, TFontItem& it) {
  it.Selected = GetLE32(h + 4) != 0;
  it.PosX = GetLEI32(h + 8);
  it.PosY = GetLEI32(h + 12);
  it.Bold = h[16] != 0;
  it.Italic = h[17] != 0;
  it.Underline = h[18] != 0;
  it.FontSize = GetLEI32(h + 20);
  it.FontColor = GetLE32(h + 24);
  it.TextVisible = h[28] != 0;
  it.Shadowed = h[29] != 0;
  it.Outlined = h[30] != 0;
  it.ShadowX = GetLEI32(h + 32);
  it.ShadowY = GetLEI32(h + 36);
  it.OutlineWidth = GetLEI32(h + 40);
  it.ShadowColor = GetLE32(h + 44);
  it.OutlineColor = GetLE32(h + 48);
  it.WordWrap = h[52] != 0;
}

// The zero-terminated text at p, at most n bytes long (no zero within n: all n bytes).
std::string ZeroTerminated(const uint8_t* p, size_t n, size_t* used = nullptr) {
  const void* z = std::memchr(p, 0, n);
  const size_t len = z ? static_cast<size_t>(static_cast<const uint8_t*>(z) - p) : n;
  if (used) *used = z ? len + 1 : n;
  return TextFromFileBytes(reinterpret_cast<const char*>(p), len);
}

}  // namespace

void AppendPageHeader(std::vector<uint8_t>& out, TPageSize size, TColor color, int32_t count) {
  const size_t at = out.size();
  out.resize(at + kPageHeaderSize, 0);
  uint8_t* h = out.data() + at;
  std::memcpy(h, kPageFileMagic, 6);
  h[6] = static_cast<uint8_t>(size);
  PutLE32(h + 8, color);
  PutLE32(h + 28, static_cast<uint32_t>(count));
}

void PatchPageItemCount(std::vector<uint8_t>& out, int32_t count) {
  if (out.size() >= kPageHeaderSize) PutLE32(out.data() + 28, static_cast<uint32_t>(count));
}

size_t ItemRecordSize(const TFontItem& item) {
  return kItemHeadSize + LimitTextBytes(item.Text, kMaxItemTextBytes).size() + 1 +
         LimitTextBytes(item.FontName, kMaxItemTextBytes).size() + 1;
}

void AppendItemRecord(std::vector<uint8_t>& out, const TFontItem& item) {
  const std::string text = LimitTextBytes(item.Text, kMaxItemTextBytes);
  const std::string font = LimitTextBytes(item.FontName, kMaxItemTextBytes);
  if (text.size() != item.Text.size() || font.size() != item.FontName.size())
    TraceF("[TFontItem] text or font name cut to %zu bytes in the record", kMaxItemTextBytes);
  const size_t len = kItemHeadSize + text.size() + 1 + font.size() + 1;
  const size_t at = out.size();
  out.resize(at + len, 0);
  uint8_t* r = out.data() + at;
  PutLE32(r, static_cast<uint32_t>(len));
  PutItemHead(r, item);
  std::memcpy(r + kItemHeadSize, text.data(), text.size());
  std::memcpy(r + kItemHeadSize + text.size() + 1, font.data(), font.size());
}

void DecodeItemRecord(const uint8_t* record, size_t size, TFontItem& item) {
  // A record shorter than the head reads as zeros beyond its end.
  uint8_t head[kItemHeadSize] = {};
  std::memcpy(head, record, std::min(size, kItemHeadSize));
  GetItemHead(head, item);
  if (size <= kItemHeadSize) {
    item.Text.clear();
    item.FontName.clear();
    return;
  }
  const uint8_t* p = record + kItemHeadSize;
  const size_t rest = size - kItemHeadSize;
  size_t used = 0;
  item.Text = ZeroTerminated(p, rest, &used);
  item.FontName = ZeroTerminated(p + used, rest - used);
}

TPageReadResult ReadPageBytes(const uint8_t* data, size_t size) {
  TPageReadResult r;
  if (size < 6 || std::memcmp(data, kPageFileMagic, 6) != 0) return r;
  r.Recognised = true;
  if (size < kPageHeaderSize) return r;
  r.HeaderComplete = true;
  r.PageSizeValid = data[6] < kPageSizeCount;
  r.PageSize = r.PageSizeValid ? static_cast<TPageSize>(data[6]) : psVideo;
  r.PageColor = GetLE32(data + 8);
  r.Announced = GetLE32(data + 28);

  size_t pos = kPageHeaderSize;
  while (r.Items.size() < r.Announced) {
    if (size - pos < 4) {
      r.Truncated = true;
      break;
    }
    const uint32_t stated = GetLE32(data + pos);
    if (stated < kMinItemRecordSize || stated > 0x7FFFFFFFu) {
      r.BadRecordLength = true;
      break;
    }
    if (stated > size - pos) {
      r.Truncated = true;
      break;
    }
    TFontItem item;
    DecodeItemRecord(data + pos, std::min<size_t>(stated, kMaxItemRecordRead), item);
    r.Items.push_back(std::move(item));
    pos += stated;
  }
  return r;
}

std::vector<uint8_t> WritePageBytes(TPageSize size, TColor color,
                                    const std::vector<const TFontItem*>& items) {
  std::vector<uint8_t> out;
  AppendPageHeader(out, size, color, 0);
  int32_t written = 0;
  for (const TFontItem* it : items) {
    AppendItemRecord(out, *it);
    ++written;
  }
  PatchPageItemCount(out, written);
  return out;
}

std::vector<uint8_t> EncodeClipboardItems(const std::vector<const TFontItem*>& items) {
  std::vector<uint8_t> out(4 + items.size() * kClipboardRecordSize, 0);
  PutLE32(out.data(), static_cast<uint32_t>(items.size()));
  uint8_t* r = out.data() + 4;
  for (const TFontItem* it : items) {
    const std::string text = LimitTextBytes(it->Text, kClipboardAreaSize - 1);
    const std::string font = LimitTextBytes(it->FontName, kClipboardAreaSize - 1);
    PutLE32(r, static_cast<uint32_t>(kItemHeadSize + text.size() + 1 + font.size() + 1));
    PutItemHead(r, *it);
    std::memcpy(r + kClipboardTextOffset, text.data(), text.size());
    std::memcpy(r + kClipboardFontOffset, font.data(), font.size());
    r += kClipboardRecordSize;
  }
  return out;
}

bool DecodeClipboardItems(const uint8_t* data, size_t size, std::vector<TFontItem>& out) {
  out.clear();
  const int64_t count = size >= 4 ? GetLEI32(data) : 0;
  const int64_t needed = count * int64_t(kClipboardRecordSize) + 4;
  if (size < 4 || count < 0 || static_cast<uint64_t>(needed) > size) {
    TraceF("[TPageEditBox.PasteFontItemsFromClipboard] Uncorrect size of buffer data: "
           "MemStream.Size < nSize * nCnt + SizeOf(nCnt) (%zu < %lld)",
           size, static_cast<long long>(needed));
    return false;
  }
  out.reserve(static_cast<size_t>(count));
  const uint8_t* r = data + 4;
  for (int64_t i = 0; i < count; ++i, r += kClipboardRecordSize) {
    TFontItem item;
    GetItemHead(r, item);
    item.Text = ZeroTerminated(r + kClipboardTextOffset, kClipboardAreaSize);
    item.FontName = ZeroTerminated(r + kClipboardFontOffset, kClipboardAreaSize);
    out.push_back(std::move(item));
  }
  return true;
}

}  // namespace movara
