#pragma once
// RIFF building blocks shared by the AVI service, the codecs and the sound readers:
// FOURCC codes, chunk ids, and the two format headers of AVI streams
// (BITMAPINFOHEADER for pictures, WAVEFORMATEX for sound), read and written field by
// field so that the layout never depends on the compiler.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/LittleEndian.h"  // GetLE32, TLEReader, TLEWriter: the fields of every chunk

namespace movara {

using FOURCC = uint32_t;
using TWOCC = uint16_t;

// The first character is the low byte: the code reads as its text in a file.
constexpr FOURCC mmioFOURCC(char a, char b, char c, char d) {
  return static_cast<FOURCC>(static_cast<uint8_t>(a)) |
         (static_cast<FOURCC>(static_cast<uint8_t>(b)) << 8) |
         (static_cast<FOURCC>(static_cast<uint8_t>(c)) << 16) |
         (static_cast<FOURCC>(static_cast<uint8_t>(d)) << 24);
}
constexpr TWOCC aviTWOCC(char a, char b) {
  return static_cast<TWOCC>(static_cast<uint8_t>(a) | (static_cast<uint8_t>(b) << 8));
}

// A code from a text of up to four characters; blanks fill a shorter text ("DIB" is "DIB ").
FOURCC FourCCFromString(std::string_view text);
// The four characters; bytes outside printable ASCII are shown as '?'.
std::string FourCCToString(FOURCC fcc);
// True when all four bytes are printable ASCII (what a real chunk id looks like).
bool IsPrintableFourCC(FOURCC fcc);

// RIFF and AVI chunk ids and list types.
inline constexpr FOURCC ckidRIFF = mmioFOURCC('R', 'I', 'F', 'F');
inline constexpr FOURCC ckidLIST = mmioFOURCC('L', 'I', 'S', 'T');
inline constexpr FOURCC ckidJUNK = mmioFOURCC('J', 'U', 'N', 'K');
inline constexpr FOURCC formtypeAVI = mmioFOURCC('A', 'V', 'I', ' ');
inline constexpr FOURCC formtypeAVIX = mmioFOURCC('A', 'V', 'I', 'X');
inline constexpr FOURCC formtypeWAVE = mmioFOURCC('W', 'A', 'V', 'E');
inline constexpr FOURCC listtypeAVIHEADER = mmioFOURCC('h', 'd', 'r', 'l');
inline constexpr FOURCC ckidAVIMAINHDR = mmioFOURCC('a', 'v', 'i', 'h');
inline constexpr FOURCC listtypeSTREAMHEADER = mmioFOURCC('s', 't', 'r', 'l');
inline constexpr FOURCC ckidSTREAMHEADER = mmioFOURCC('s', 't', 'r', 'h');
inline constexpr FOURCC ckidSTREAMFORMAT = mmioFOURCC('s', 't', 'r', 'f');
inline constexpr FOURCC ckidSTREAMHANDLERDATA = mmioFOURCC('s', 't', 'r', 'd');
inline constexpr FOURCC ckidSTREAMNAME = mmioFOURCC('s', 't', 'r', 'n');
inline constexpr FOURCC listtypeAVIMOVIE = mmioFOURCC('m', 'o', 'v', 'i');
inline constexpr FOURCC listtypeAVIRECORD = mmioFOURCC('r', 'e', 'c', ' ');
inline constexpr FOURCC ckidAVINEWINDEX = mmioFOURCC('i', 'd', 'x', '1');
inline constexpr FOURCC ckidAVISUPERINDEX = mmioFOURCC('i', 'n', 'd', 'x');
inline constexpr FOURCC listtypeODML = mmioFOURCC('o', 'd', 'm', 'l');
inline constexpr FOURCC ckidODMLHEADER = mmioFOURCC('d', 'm', 'l', 'h');
inline constexpr FOURCC ckidWAVEFORMAT = mmioFOURCC('f', 'm', 't', ' ');
inline constexpr FOURCC ckidWAVEDATA = mmioFOURCC('d', 'a', 't', 'a');

// Stream types.
inline constexpr FOURCC streamtypeVIDEO = mmioFOURCC('v', 'i', 'd', 's');
inline constexpr FOURCC streamtypeAUDIO = mmioFOURCC('a', 'u', 'd', 's');
inline constexpr FOURCC streamtypeMIDI = mmioFOURCC('m', 'i', 'd', 's');
inline constexpr FOURCC streamtypeTEXT = mmioFOURCC('t', 'x', 't', 's');

// The last two characters of a data chunk id ("00dc").
inline constexpr TWOCC cktypeDIBbits = aviTWOCC('d', 'b');
inline constexpr TWOCC cktypeDIBcompressed = aviTWOCC('d', 'c');
inline constexpr TWOCC cktypePALchange = aviTWOCC('p', 'c');
inline constexpr TWOCC cktypeWAVEbytes = aviTWOCC('w', 'b');

// "##tt": the stream number in two decimal digits, then the chunk type.
FOURCC MakeAviChunkId(int stream, TWOCC type);
// The stream number of a data chunk id, -1 when its first two characters are not digits.
int StreamFromChunkId(FOURCC ckid);
inline TWOCC ChunkTypeOf(FOURCC ckid) { return static_cast<TWOCC>(ckid >> 16); }

// Compression codes of BITMAPINFOHEADER.
inline constexpr uint32_t BI_RGB = 0;
inline constexpr uint32_t BI_RLE8 = 1;
inline constexpr uint32_t BI_RLE4 = 2;
inline constexpr uint32_t BI_BITFIELDS = 3;

struct BITMAPINFOHEADER {
  static constexpr size_t kSize = 40;
  uint32_t biSize = kSize;
  int32_t biWidth = 0;
  int32_t biHeight = 0;
  uint16_t biPlanes = 1;
  uint16_t biBitCount = 0;
  uint32_t biCompression = BI_RGB;
  uint32_t biSizeImage = 0;
  int32_t biXPelsPerMeter = 0;
  int32_t biYPelsPerMeter = 0;
  uint32_t biClrUsed = 0;
  uint32_t biClrImportant = 0;

  // Reads the 40 bytes at data; false (header untouched) when fewer are there.
  bool Read(const uint8_t* data, size_t size);
  void Write(uint8_t* data) const;  // exactly kSize bytes
  void AppendTo(std::vector<uint8_t>& out) const;
  std::vector<uint8_t> Bytes() const;
  bool operator==(const BITMAPINFOHEADER&) const = default;
};

// Format tags of WAVEFORMATEX.
inline constexpr uint16_t WAVE_FORMAT_PCM = 0x0001;
inline constexpr uint16_t WAVE_FORMAT_ADPCM = 0x0002;
inline constexpr uint16_t WAVE_FORMAT_IEEE_FLOAT = 0x0003;
inline constexpr uint16_t WAVE_FORMAT_ALAW = 0x0006;
inline constexpr uint16_t WAVE_FORMAT_MULAW = 0x0007;
inline constexpr uint16_t WAVE_FORMAT_IMA_ADPCM = 0x0011;
inline constexpr uint16_t WAVE_FORMAT_GSM610 = 0x0031;
inline constexpr uint16_t WAVE_FORMAT_MPEG = 0x0050;
inline constexpr uint16_t WAVE_FORMAT_MPEGLAYER3 = 0x0055;
inline constexpr uint16_t WAVE_FORMAT_EXTENSIBLE = 0xFFFE;

struct WAVEFORMATEX {
  static constexpr size_t kSize = 18;     // with cbSize
  static constexpr size_t kPcmSize = 16;  // PCMWAVEFORMAT: no cbSize
  uint16_t wFormatTag = 0;
  uint16_t nChannels = 0;
  uint32_t nSamplesPerSec = 0;
  uint32_t nAvgBytesPerSec = 0;
  uint16_t nBlockAlign = 0;
  uint16_t wBitsPerSample = 0;
  uint16_t cbSize = 0;

  // Reads 16 or more bytes; a 16-byte format has cbSize 0. False (untouched) when shorter.
  bool Read(const uint8_t* data, size_t size);
  void Write(uint8_t* data) const;  // exactly kSize bytes
  void AppendTo(std::vector<uint8_t>& out) const;
  bool operator==(const WAVEFORMATEX&) const = default;
};

// A WAVEFORMATEX with the extra bytes that follow it.
struct TWaveFormat {
  WAVEFORMATEX wf;
  std::vector<uint8_t> extra;

  // Reads a whole format: the extra bytes are cbSize of them, cut to the bytes present
  // (cbSize is then corrected to what was read).
  bool Read(const uint8_t* data, size_t size);
  bool Read(const std::vector<uint8_t>& bytes) { return Read(bytes.data(), bytes.size()); }
  // 18 bytes plus the extra bytes, cbSize set to their count.
  std::vector<uint8_t> Bytes() const;
  bool operator==(const TWaveFormat&) const = default;
};

// A PCM format: block align and bytes per second follow from the other three.
WAVEFORMATEX MakePcmFormat(int channels, int samplesPerSec, int bitsPerSample);

}  // namespace movara
