#pragma once
// The byte records of title pages: the page file (header and one record per item) and
// the clipboard format of copied items. All integers little-endian, field by field.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "pages/FontItem.h"

namespace movara {

inline constexpr char kPageFileMagic[] = "PTE1.0";  // 6 bytes, no terminator in the file
inline constexpr size_t kPageHeaderSize = 32;
inline constexpr size_t kItemHeadSize = 80;
// The head and the two terminating zeros: no item record is shorter.
inline constexpr size_t kMinItemRecordSize = kItemHeadSize + 2;
// The reader takes at most this many bytes of a record.
inline constexpr size_t kMaxItemRecordRead = 8271;

inline constexpr char kClipboardFormatName[] = "Page Editor FontItem";
inline constexpr size_t kClipboardRecordSize = 8272;
inline constexpr size_t kClipboardTextOffset = 80;
inline constexpr size_t kClipboardFontOffset = 4176;
inline constexpr size_t kClipboardAreaSize = 4096;

// The file header: magic, page size ordinal, page colour, item count.
void AppendPageHeader(std::vector<uint8_t>& out, TPageSize size, TColor color, int32_t count);
// Overwrites the item count of a header at the start of out.
void PatchPageItemCount(std::vector<uint8_t>& out, int32_t count);

// One item's file record (length, head, text, font name). Text and font name are cut
// to kMaxItemTextBytes bytes at a character boundary and end at a zero byte.
void AppendItemRecord(std::vector<uint8_t>& out, const TFontItem& item);
// The record length AppendItemRecord writes for the item.
size_t ItemRecordSize(const TFontItem& item);

// Fills the item's content from a record of size bytes (the length field included);
// bytes past size read as zeros. Selected is taken from the record.
void DecodeItemRecord(const uint8_t* record, size_t size, TFontItem& item);

// What a page file holds, as far as it could be read.
struct TPageReadResult {
  bool Recognised = false;      // the file starts with "PTE1.0"
  bool HeaderComplete = false;  // all 32 header bytes are there
  bool PageSizeValid = false;   // the size byte names a page size
  TPageSize PageSize = psVideo;
  TColor PageColor = 0;
  uint32_t Announced = 0;  // item count of the header
  // Items read, in file order (Selected as stored; owners not set).
  std::vector<TFontItem> Items;
  // Why reading stopped before Announced items: the rest of the file is too short for
  // the next record, or its length field cannot be a record's.
  bool Truncated = false;
  bool BadRecordLength = false;
  // All of it read as announced.
  bool Complete() const {
    return Recognised && HeaderComplete && PageSizeValid && Items.size() == Announced;
  }
};

// Reads a page file image. Never reads outside the buffer; reading stops at the first
// record that does not fit the remaining bytes or whose length is below the minimum.
// A record longer than kMaxItemRecordRead is read up to that limit and the next record
// starts after its whole stated length.
TPageReadResult ReadPageBytes(const uint8_t* data, size_t size);

// Writes a whole page file image.
std::vector<uint8_t> WritePageBytes(TPageSize size, TColor color,
                                    const std::vector<const TFontItem*>& items);

// Clipboard data: an int32 count, then one 8272-byte record per item.
std::vector<uint8_t> EncodeClipboardItems(const std::vector<const TFontItem*>& items);
// False (out empty) when the data is shorter than its count announces or the count is
// negative.
bool DecodeClipboardItems(const uint8_t* data, size_t size, std::vector<TFontItem>& out);

}  // namespace movara
