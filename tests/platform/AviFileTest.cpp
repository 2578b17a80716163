// Reading AVI files: files made by the ffmpeg program in several codecs are read and
// compared packet by packet with what ffmpeg itself reads from them; hand-made files
// cover what ffmpeg does not write (record lists, missing pad bytes, absolute idx1
// offsets, broken headers); damaged files must fail cleanly or read what is there.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>

#include "platform/avifile/AviFile.h"
#include "platform/avifile/AviIO.h"
#include "support/TestSupport.h"

extern "C" {
#include <libavutil/md5.h>
}

namespace movara {
namespace {

using test::Quote;
using test::ReadBytes;
using test::RunCommand;
using test::TTempDir;
using test::WriteBytes;

std::string Md5(const uint8_t* data, size_t size) {
  uint8_t d[16];
  av_md5_sum(d, data, static_cast<int>(size));
  char hex[33];
  for (int i = 0; i < 16; ++i) std::snprintf(hex + 2 * i, 3, "%02x", d[i]);
  return std::string(hex, 32);
}
std::string Md5(const std::vector<uint8_t>& v) { return Md5(v.data(), v.size()); }

// ffmpeg's per-packet hashes of one stream: pts -> (size, md5), in file order.
using TPacket = movara::test::TPacketHash;
using movara::test::FramePackets;

// "pts,K_" lines of ffprobe: the key-frame flag of each video packet.
std::map<int64_t, bool> ProbeKeyFlags(const std::string& file) {
  const auto r = RunCommand("ffprobe -v error -select_streams v:0 -show_entries packet=pts,flags -of csv=p=0 " +
                            Quote(file));
  std::map<int64_t, bool> out;
  std::istringstream in(r.output);
  std::string line;
  while (std::getline(in, line)) {
    const size_t comma = line.find(',');
    if (comma == std::string::npos) continue;
    out[std::stoll(line.substr(0, comma))] = line[comma + 1] == 'K';
  }
  return out;
}

std::vector<uint8_t> ReadSample(PAVISTREAM s, int32_t pos, HRESULT* result = nullptr) {
  int32_t bytes = 0, samples = 0;
  HRESULT r = AVIStreamRead(s, pos, 1, nullptr, 0, &bytes, &samples);
  std::vector<uint8_t> data;
  if (r == AVIERR_OK) {
    data.resize(static_cast<size_t>(bytes));
    r = AVIStreamRead(s, pos, 1, data.data(), bytes, &bytes, &samples);
    if (r != AVIERR_OK) data.clear();
  }
  if (result) *result = r;
  return data;
}

// All bytes of a stream, read in runs of up to 1000 samples.
std::vector<uint8_t> ReadAllBytes(PAVISTREAM s) {
  std::vector<uint8_t> all;
  const int32_t end = AVIStreamEnd(s);
  for (int32_t pos = AVIStreamStart(s); pos < end;) {
    int32_t bytes = 0, samples = 0;
    if (AVIStreamRead(s, pos, 1000, nullptr, 0, &bytes, &samples) != AVIERR_OK || samples <= 0) break;
    std::vector<uint8_t> d(static_cast<size_t>(bytes));
    if (AVIStreamRead(s, pos, 1000, d.data(), bytes, &bytes, &samples) != AVIERR_OK) break;
    all.insert(all.end(), d.begin(), d.begin() + bytes);
    pos += samples;
  }
  return all;
}

struct TOpenAvi {
  TAviFilePtr file;
  TAviStreamPtr video, audio;
  bool Open(const std::string& name) {
    PAVIFILE f = nullptr;
    if (AVIFileOpen(&f, name, OF_READ | OF_SHARE_DENY_WRITE) != AVIERR_OK) return false;
    file.reset(f);
    PAVISTREAM v = nullptr, a = nullptr;
    if (AVIFileGetStream(f, &v, streamtypeVIDEO, 0) == AVIERR_OK) video.reset(v);
    if (AVIFileGetStream(f, &a, streamtypeAUDIO, 0) == AVIERR_OK) audio.reset(a);
    return true;
  }
  bool OpenBytes(const std::vector<uint8_t>& bytes) {
    PAVIFILE f = nullptr;
    if (AVIFileOpenIO(&f, std::make_shared<TMemoryAviIO>(bytes), OF_READ) != AVIERR_OK) return false;
    file.reset(f);
    PAVISTREAM v = nullptr, a = nullptr;
    if (AVIFileGetStream(f, &v, streamtypeVIDEO, 0) == AVIERR_OK) video.reset(v);
    if (AVIFileGetStream(f, &a, streamtypeAUDIO, 0) == AVIERR_OK) audio.reset(a);
    return true;
  }
};

std::string MakeFfmpegAvi(const TTempDir& dir, const std::string& name, const std::string& video,
                          const std::string& audio) {
  const std::string file = dir.File(name);
  const auto r = RunCommand(
      "ffmpeg -v error -y -f lavfi -i testsrc=size=160x120:rate=25 -f lavfi -i "
      "sine=frequency=440:sample_rate=44100 -t 2 " +
      video + " " + audio + " " + Quote(file));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  return file;
}

bool HaveEncoder(const std::string& name) {
  return RunCommand("ffmpeg -hide_banner -encoders 2>/dev/null | grep -qw " + name).exitCode == 0;
}

struct TInteropCase {
  const char* name;
  const char* video;
  const char* audio;
  FOURCC handler;
  uint16_t audioTag;
  uint32_t audioSampleSize;  // 0: one chunk per sample
  const char* encoder;       // needed audio encoder, nullptr when built in
};

class AviFileInterop : public ::testing::TestWithParam<TInteropCase> {};

// Frames, key flags, raw packet bytes and sound bytes agree with ffmpeg's own reading.
TEST_P(AviFileInterop, ReadsWhatFfmpegReads) {
  REQUIRE_PROGRAM("ffmpeg");
  REQUIRE_PROGRAM("ffprobe");
  const TInteropCase& c = GetParam();
  if (c.encoder && !HaveEncoder(c.encoder)) GTEST_SKIP() << c.encoder << " not available";
  TTempDir dir;
  const std::string file = MakeFfmpegAvi(dir, "a.avi", c.video, c.audio);
  TOpenAvi avi;
  ASSERT_TRUE(avi.Open(file));
  ASSERT_TRUE(avi.video && avi.audio);

  AVISTREAMINFO vi;
  ASSERT_EQ(AVIStreamInfo(avi.video.get(), &vi, sizeof vi), AVIERR_OK);
  EXPECT_EQ(vi.fccType, streamtypeVIDEO);
  EXPECT_EQ(vi.fccHandler, c.handler) << FourCCToString(vi.fccHandler);
  EXPECT_EQ(vi.dwRate / vi.dwScale, 25u);
  EXPECT_EQ(vi.rcFrame, (RECT{0, 0, 160, 120}));
  EXPECT_EQ(AVIStreamStart(avi.video.get()), 0);
  // The header's frame count, empty (dropped) frames included.
  const auto probed = RunCommand("ffprobe -v error -select_streams v:0 -show_entries stream=nb_frames -of csv=p=0 " +
                                 Quote(file));
  const int32_t length = AVIStreamLength(avi.video.get());
  EXPECT_EQ(length, std::stoi(probed.output));
  EXPECT_GE(length, 50);

  int32_t formatSize = 0;
  ASSERT_EQ(AVIStreamReadFormat(avi.video.get(), 0, nullptr, &formatSize), AVIERR_OK);
  std::vector<uint8_t> format(static_cast<size_t>(formatSize));
  ASSERT_EQ(AVIStreamReadFormat(avi.video.get(), 0, format.data(), &formatSize), AVIERR_OK);
  BITMAPINFOHEADER bih;
  ASSERT_TRUE(bih.Read(format.data(), format.size()));
  EXPECT_EQ(bih.biWidth, 160);
  EXPECT_EQ(std::abs(bih.biHeight), 120);

  // Every non-empty frame is one ffmpeg packet with the same bytes.
  const auto packets = FramePackets(file, "0:v");
  ASSERT_FALSE(packets.empty());
  size_t nonEmpty = 0;
  for (int32_t i = 0; i < length; ++i) nonEmpty += ReadSample(avi.video.get(), i).empty() ? 0 : 1;
  EXPECT_EQ(nonEmpty, packets.size());
  for (const TPacket& p : packets) {
    HRESULT r;
    const auto frame = ReadSample(avi.video.get(), static_cast<int32_t>(p.pts), &r);
    ASSERT_EQ(r, AVIERR_OK) << p.pts;
    EXPECT_EQ(static_cast<int>(frame.size()), p.size) << p.pts;
    EXPECT_EQ(Md5(frame), p.md5) << "frame " << p.pts;
  }
  for (const auto& [pts, key] : ProbeKeyFlags(file))
    EXPECT_EQ(AVIStreamIsKeyFrame(avi.video.get(), static_cast<int32_t>(pts)), key) << "frame " << pts;

  // Sound: the format, and the bytes of all packets in order.
  AVISTREAMINFO ai;
  ASSERT_EQ(AVIStreamInfo(avi.audio.get(), &ai, sizeof ai), AVIERR_OK);
  EXPECT_EQ(ai.fccType, streamtypeAUDIO);
  EXPECT_EQ(ai.dwSampleSize, c.audioSampleSize);
  ASSERT_EQ(AVIStreamFormatSize(avi.audio.get(), 0, &formatSize), AVIERR_OK);
  format.resize(static_cast<size_t>(formatSize));
  ASSERT_EQ(AVIStreamReadFormat(avi.audio.get(), 0, format.data(), &formatSize), AVIERR_OK);
  TWaveFormat wf;
  ASSERT_TRUE(wf.Read(format));
  EXPECT_EQ(wf.wf.wFormatTag, c.audioTag);
  EXPECT_EQ(wf.wf.nChannels, 1);
  EXPECT_EQ(wf.wf.nSamplesPerSec, 44100u);
  const std::string data = dir.File("audio.bin");
  ASSERT_EQ(RunCommand("ffmpeg -v error -i " + Quote(file) + " -map 0:a -c copy -f data " + Quote(data)).exitCode, 0);
  const auto expected = ReadBytes(data);
  const auto ours = ReadAllBytes(avi.audio.get());
  EXPECT_EQ(ours.size(), expected.size());
  EXPECT_EQ(Md5(ours), Md5(expected));
  if (c.audioSampleSize == 0)
    EXPECT_EQ(static_cast<size_t>(AVIStreamLength(avi.audio.get())), FramePackets(file, "0:a").size());
  else
    EXPECT_EQ(uint64_t(AVIStreamLength(avi.audio.get())) * c.audioSampleSize, expected.size());
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, AviFileInterop,
    ::testing::Values(
        TInteropCase{"MjpegPcm", "-c:v mjpeg", "-c:a pcm_s16le", mmioFOURCC('M', 'J', 'P', 'G'), WAVE_FORMAT_PCM, 2,
                     nullptr},
        TInteropCase{"Mpeg4Mp3", "-c:v mpeg4 -g 12", "-c:a libmp3lame", mmioFOURCC('F', 'M', 'P', '4'),
                     WAVE_FORMAT_MPEGLAYER3, 0, "libmp3lame"},
        TInteropCase{"RawAdpcm", "-c:v rawvideo -pix_fmt bgr24", "-c:a adpcm_ima_wav", 0, WAVE_FORMAT_IMA_ADPCM,
                     1024, nullptr},
        TInteropCase{"MjpegU8", "-c:v mjpeg", "-c:a pcm_u8", mmioFOURCC('M', 'J', 'P', 'G'), WAVE_FORMAT_PCM, 1,
                     nullptr}),
    [](const ::testing::TestParamInfo<TInteropCase>& i) { return std::string(i.param.name); });

TEST(AviFileRead, KeyFramesEveryTwelveFrames) {
  REQUIRE_PROGRAM("ffmpeg");
  TTempDir dir;
  const std::string file = MakeFfmpegAvi(dir, "k.avi", "-c:v mpeg4 -g 12", "-c:a pcm_s16le");
  TOpenAvi avi;
  ASSERT_TRUE(avi.Open(file));
  PAVISTREAM v = avi.video.get();
  EXPECT_EQ(AVIStreamFindSample(v, 0, FIND_KEY | FIND_NEXT), 0);
  EXPECT_EQ(AVIStreamFindSample(v, 5, FIND_KEY | FIND_NEXT), 12);
  EXPECT_EQ(AVIStreamFindSample(v, 12, FIND_KEY | FIND_NEXT), 12);
  EXPECT_EQ(AVIStreamFindSample(v, 13, FIND_KEY | FIND_PREV), 12);
  EXPECT_EQ(AVIStreamFindSample(v, 49, FIND_KEY | FIND_NEXT), -1);
  EXPECT_EQ(AVIStreamFindSample(v, 500, FIND_KEY | FIND_PREV), 48);
  EXPECT_EQ(AVIStreamFindSample(v, -5, FIND_KEY | FIND_NEXT), 0);
  EXPECT_EQ(AVIStreamNextKeyFrame(v, 12), 24);
  EXPECT_EQ(AVIStreamPrevKeyFrame(v, 12), 0);
  EXPECT_TRUE(AVIStreamIsKeyFrame(v, 36));
  EXPECT_FALSE(AVIStreamIsKeyFrame(v, 37));
  int32_t size = 0;
  ASSERT_EQ(AVIStreamSampleSize(v, 12, &size), AVIERR_OK);
  EXPECT_EQ(AVIStreamFindSample(v, 12, FIND_KEY | FIND_NEXT | FIND_SIZE), size);
  EXPECT_EQ(AVIStreamFindSample(v, 13, FIND_KEY | FIND_NEXT | FIND_INDEX), 24);
  // Sound samples are all key samples.
  EXPECT_EQ(AVIStreamFindSample(avi.audio.get(), 1001, FIND_KEY | FIND_NEXT), 1001);
}

TEST(AviFileRead, CallResults) {
  REQUIRE_PROGRAM("ffmpeg");
  TTempDir dir;
  const std::string file = MakeFfmpegAvi(dir, "r.avi", "-c:v mjpeg", "-c:a pcm_s16le");
  PAVIFILE f = nullptr;
  EXPECT_EQ(AVIFileOpen(&f, dir.File("missing.avi"), OF_READ), AVIERR_FILEOPEN);
  EXPECT_EQ(f, nullptr);
  EXPECT_EQ(AVIFileOpen(&f, dir.Path(), OF_READ), AVIERR_FILEOPEN);  // a folder
  WriteBytes(dir.File("text.avi"), {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'});
  EXPECT_EQ(AVIFileOpen(&f, dir.File("text.avi"), OF_READ), AVIERR_BADFORMAT);
  WriteBytes(dir.File("empty.avi"), {});
  EXPECT_EQ(AVIFileOpen(&f, dir.File("empty.avi"), OF_READ), AVIERR_BADFORMAT);

  TOpenAvi avi;
  ASSERT_TRUE(avi.Open(file));
  PAVISTREAM extra = nullptr;
  EXPECT_EQ(AVIFileGetStream(avi.file.get(), &extra, streamtypeVIDEO, 1), AVIERR_NODATA);
  EXPECT_EQ(AVIFileGetStream(avi.file.get(), &extra, streamtypeTEXT, 0), AVIERR_NODATA);
  EXPECT_EQ(AVIFileGetStream(avi.file.get(), &extra, 0, 1), AVIERR_OK);  // any type: the sound
  AVISTREAMINFO info;
  AVIStreamInfo(extra, &info, sizeof info);
  EXPECT_EQ(info.fccType, streamtypeAUDIO);
  AVIStreamRelease(extra);

  PAVISTREAM v = avi.video.get();
  int32_t bytes = -1, samples = -1;
  EXPECT_EQ(AVIStreamRead(v, 50, 1, nullptr, 0, &bytes, &samples), AVIERR_NODATA);
  EXPECT_EQ(AVIStreamRead(v, -1, 1, nullptr, 0, &bytes, &samples), AVIERR_NODATA);
  EXPECT_EQ(bytes, 0);
  ASSERT_EQ(AVIStreamRead(v, 3, 1, nullptr, 0, &bytes, &samples), AVIERR_OK);
  EXPECT_GT(bytes, 100);
  EXPECT_EQ(samples, 1);
  std::vector<uint8_t> small(static_cast<size_t>(bytes - 1));
  int32_t need = 0;
  EXPECT_EQ(AVIStreamRead(v, 3, 1, small.data(), bytes - 1, &need, &samples), AVIERR_BUFFERTOOSMALL);
  EXPECT_EQ(need, bytes);
  EXPECT_EQ(samples, 0);

  // A format buffer that is too small gets the start of the format and its size.
  uint8_t part[8];
  int32_t formatSize = sizeof part;
  EXPECT_EQ(AVIStreamReadFormat(v, 0, part, &formatSize), AVIERR_BUFFERTOOSMALL);
  EXPECT_EQ(formatSize, 40);
  EXPECT_EQ(GetLE32(part + 4), 160u);

  // Fixed-size sound samples: as many as the buffer holds, across chunks.
  PAVISTREAM a = avi.audio.get();
  ASSERT_EQ(AVIStreamRead(a, 0, 100000, nullptr, 0, &bytes, &samples), AVIERR_OK);
  EXPECT_EQ(samples, 88200);
  EXPECT_EQ(bytes, 176400);
  std::vector<uint8_t> pcm(4001);
  ASSERT_EQ(AVIStreamRead(a, 1500, 100000, pcm.data(), 4001, &bytes, &samples), AVIERR_OK);
  EXPECT_EQ(samples, 2000);
  EXPECT_EQ(bytes, 4000);
  const auto all = ReadAllBytes(a);
  EXPECT_EQ(0, std::memcmp(pcm.data(), all.data() + 3000, 4000));
  EXPECT_EQ(AVIStreamRead(a, 0, 1, pcm.data(), 1, &bytes, &samples), AVIERR_BUFFERTOOSMALL);
  // 1000 ms of 44100 Hz sound: sample 44100.
  EXPECT_EQ(AVIStreamTimeToSample(a, 1000), 44100);
  EXPECT_EQ(AVIStreamSampleToTime(v, 25), 1000);
}

// The records are laid out byte for byte as on the platform, little-endian.
TEST(AviFileRead, RecordLayouts) {
  AVISTREAMINFO si;
  si.fccType = streamtypeAUDIO;
  si.wPriority = 0x0102;
  si.dwScale = 4;
  si.dwRate = 0x00030201;
  si.dwQuality = 0xFFFFFFFFu;
  si.rcFrame = RECT{-1, 2, 320, 240};
  si.SetName(std::string(80, 'x'));
  uint8_t b[AVISTREAMINFO::kSize];
  si.Write(b);
  EXPECT_EQ(std::memcmp(b, "auds", 4), 0);
  EXPECT_EQ(GetLE16(b + 16), 0x0102);
  EXPECT_EQ(GetLE32(b + 24), 0x00030201u);
  EXPECT_EQ(GetLE32(b + 44), 0xFFFFFFFFu);
  EXPECT_EQ(static_cast<int32_t>(GetLE32(b + 52)), -1);
  EXPECT_EQ(GetLE32(b + 60), 320u);
  EXPECT_EQ(b[76], 'x');
  EXPECT_EQ(b[76 + 63], 0);  // the name is cut to 63 characters
  AVISTREAMINFO back;
  ASSERT_TRUE(back.Read(b, sizeof b));
  EXPECT_EQ(0, std::memcmp(&back, &si, sizeof si));
  EXPECT_EQ(back.Name(), std::string(63, 'x'));
  EXPECT_FALSE(back.Read(b, sizeof b - 1));

  // A 16-byte PCM format has no cbSize; extra bytes are cut to what is there.
  WAVEFORMATEX wf;
  const uint8_t pcm[16] = {1, 0, 2, 0, 0x44, 0xAC, 0, 0, 0x10, 0xB1, 2, 0, 4, 0, 16, 0};
  ASSERT_TRUE(wf.Read(pcm, 16));
  EXPECT_EQ(wf, MakePcmFormat(2, 44100, 16));
  EXPECT_FALSE(wf.Read(pcm, 15));
  std::vector<uint8_t> ext = TWaveFormat{MakePcmFormat(1, 8000, 8), {7, 8, 9}}.Bytes();
  ASSERT_EQ(ext.size(), 21u);
  EXPECT_EQ(GetLE16(ext.data() + 16), 3);
  TWaveFormat tw;
  ASSERT_TRUE(tw.Read(ext.data(), 20));  // one extra byte missing
  EXPECT_EQ(tw.extra, (std::vector<uint8_t>{7, 8}));
  EXPECT_EQ(tw.wf.cbSize, 2);

  BITMAPINFOHEADER bih;
  bih.biWidth = 720;
  bih.biHeight = -576;
  bih.biBitCount = 24;
  bih.biCompression = FourCCFromString("MJPG");
  const auto bytes = bih.Bytes();
  ASSERT_EQ(bytes.size(), 40u);
  EXPECT_EQ(GetLE32(bytes.data()), 40u);
  EXPECT_EQ(static_cast<int32_t>(GetLE32(bytes.data() + 8)), -576);
  EXPECT_EQ(std::memcmp(bytes.data() + 16, "MJPG", 4), 0);
  BITMAPINFOHEADER again;
  ASSERT_TRUE(again.Read(bytes.data(), bytes.size()));
  EXPECT_EQ(again, bih);

  EXPECT_EQ(FourCCToString(FourCCFromString("DIB")), "DIB ");
  EXPECT_EQ(FourCCToString(0x00010203), "????");
  EXPECT_EQ(MakeAviChunkId(7, cktypeWAVEbytes), FourCCFromString("07wb"));
  EXPECT_EQ(StreamFromChunkId(FourCCFromString("12dc")), 12);
  EXPECT_EQ(StreamFromChunkId(FourCCFromString("ix00")), -1);
  EXPECT_EQ(AviErrorText(AVIERR_NODATA), "AVIERR_NODATA");
  EXPECT_EQ(AVIERR_FILEOPEN, static_cast<HRESULT>(0x8004406Fu));
}

// ---------------------------------------------------------------------------------
// Hand-made files.

// Builds RIFF structures: chunks and lists, padded as the caller asks.
std::vector<uint8_t> Chunk(const char* id, const std::vector<uint8_t>& data, bool pad = true) {
  std::vector<uint8_t> out;
  TLEWriter w(out);
  w.FourCC(FourCCFromString(id));
  w.U32(static_cast<uint32_t>(data.size()));
  w.Bytes(data.data(), data.size());
  if (pad && (data.size() & 1)) w.U8(0);
  return out;
}
std::vector<uint8_t> List(const char* type, const std::vector<std::vector<uint8_t>>& items,
                          const char* id = "LIST") {
  std::vector<uint8_t> body;
  TLEWriter w(body);
  w.FourCC(FourCCFromString(type));
  for (const auto& i : items) w.Bytes(i.data(), i.size());
  return Chunk(id, body);
}
std::vector<uint8_t> Strh(const char* type, uint32_t scale, uint32_t rate, uint32_t start, uint32_t length,
                          uint32_t sampleSize) {
  std::vector<uint8_t> b;
  TLEWriter w(b);
  w.FourCC(FourCCFromString(type));
  w.FourCC(0);
  w.U32(0);
  w.U32(0);
  w.U32(0);
  w.U32(scale);
  w.U32(rate);
  w.U32(start);
  w.U32(length);
  w.U32(0);
  w.U32(0);
  w.U32(sampleSize);
  w.Zeros(8);
  return Chunk("strh", b);
}
std::vector<uint8_t> Avih() { return Chunk("avih", std::vector<uint8_t>(56, 0)); }
std::vector<uint8_t> VideoFormat(int w, int h) {
  BITMAPINFOHEADER bih;
  bih.biWidth = w;
  bih.biHeight = h;
  bih.biBitCount = 24;
  bih.biCompression = FourCCFromString("MJPG");
  return bih.Bytes();
}
std::vector<uint8_t> PcmFormat() { return TWaveFormat{MakePcmFormat(2, 8000, 16), {}}.Bytes(); }
std::vector<uint8_t> Bytes(size_t n, uint8_t seed) {
  std::vector<uint8_t> b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed + i * 7);
  return b;
}
std::vector<uint8_t> Concat(const std::vector<std::vector<uint8_t>>& parts) {
  std::vector<uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// Frames in "LIST rec " groups, an odd chunk without its pad byte, a palette change
// chunk that is no frame, JUNK between chunks, and no idx1.
TEST(AviFileRead, WalksMoviWithoutIndex) {
  const auto hdrl = List("hdrl", {Avih(), List("strl", {Strh("vids", 1, 10, 0, 999, 0), Chunk("strf", VideoFormat(32, 16))}),
                                  List("strl", {Strh("auds", 4, 32000, 0, 0, 4), Chunk("strf", PcmFormat())})});
  const auto movi = List("movi", {List("rec ", {Chunk("00dc", Bytes(11, 1), false), Chunk("01wb", Bytes(8, 2))}),
                                  Chunk("JUNK", Bytes(5, 0)), Chunk("00pc", Bytes(4, 0)),
                                  List("rec ", {Chunk("00dc", Bytes(20, 3)), Chunk("01wb", Bytes(12, 4))}),
                                  Chunk("00dc", Bytes(7, 5))});
  const auto file = List("AVI ", {hdrl, movi}, "RIFF");
  TOpenAvi avi;
  ASSERT_TRUE(avi.OpenBytes(file));
  ASSERT_EQ(AVIStreamLength(avi.video.get()), 3);  // the header's 999 is not believed
  EXPECT_EQ(ReadSample(avi.video.get(), 0), Bytes(11, 1));
  EXPECT_EQ(ReadSample(avi.video.get(), 1), Bytes(20, 3));
  EXPECT_EQ(ReadSample(avi.video.get(), 2), Bytes(7, 5));
  EXPECT_TRUE(AVIStreamIsKeyFrame(avi.video.get(), 1));
  EXPECT_EQ(AVIStreamLength(avi.audio.get()), 5);
  EXPECT_EQ(ReadAllBytes(avi.audio.get()), Concat({Bytes(8, 2), Bytes(12, 4)}));
  AVISTREAMINFO vi;
  AVIStreamInfo(avi.video.get(), &vi, sizeof vi);
  EXPECT_EQ(vi.rcFrame, (RECT{0, 0, 32, 16}));  // from the format when the header has none
  EXPECT_EQ(vi.dwSuggestedBufferSize, 20u);
}

std::vector<uint8_t> Idx1Entry(const char* id, uint32_t flags, uint32_t offset, uint32_t size) {
  std::vector<uint8_t> b;
  TLEWriter w(b);
  w.FourCC(FourCCFromString(id));
  w.U32(flags);
  w.U32(offset);
  w.U32(size);
  return b;
}

// idx1 with offsets from the start of the file instead of the movi list; key flags
// come from it; a stream start offset moves the sample positions.
TEST(AviFileRead, Idx1AbsoluteOffsetsAndStreamStart) {
  const auto hdrl = List("hdrl", {Avih(), List("strl", {Strh("vids", 1, 25, 10, 3, 0), Chunk("strf", VideoFormat(8, 8)),
                                                        Chunk("strn", {'c', 'a', 'm', 0})})});
  const auto movi = List("movi", {Chunk("00dc", Bytes(6, 1)), Chunk("00dc", Bytes(9, 2)), Chunk("00dc", Bytes(4, 3))});
  const uint32_t moviAt = 12 + static_cast<uint32_t>(hdrl.size());
  const uint32_t first = moviAt + 12;
  const auto idx1 = Chunk("idx1", Concat({Idx1Entry("00dc", AVIIF_KEYFRAME, first, 6), Idx1Entry("00dc", 0, first + 14, 9),
                                          Idx1Entry("00dc", AVIIF_KEYFRAME, first + 32, 4)}));
  const auto file = List("AVI ", {hdrl, movi, idx1}, "RIFF");
  TOpenAvi avi;
  ASSERT_TRUE(avi.OpenBytes(file));
  PAVISTREAM v = avi.video.get();
  EXPECT_EQ(AVIStreamStart(v), 10);
  EXPECT_EQ(AVIStreamLength(v), 3);
  EXPECT_EQ(ReadSample(v, 10), Bytes(6, 1));
  EXPECT_EQ(ReadSample(v, 11), Bytes(9, 2));
  EXPECT_EQ(ReadSample(v, 12), Bytes(4, 3));
  EXPECT_TRUE(AVIStreamIsKeyFrame(v, 10));
  EXPECT_FALSE(AVIStreamIsKeyFrame(v, 11));
  EXPECT_EQ(AVIStreamFindSample(v, 11, FIND_KEY | FIND_NEXT), 12);
  AVISTREAMINFO vi;
  AVIStreamInfo(v, &vi, sizeof vi);
  EXPECT_EQ(vi.Name(), "cam");
}

// Broken headers: zero rates, an absurd start and length, a stream without a format,
// an index entry far outside the file (the index is then not believed at all).
TEST(AviFileRead, BrokenHeadersReadWhatIsThere) {
  const auto hdrl = List("hdrl", {Avih(), List("strl", {Strh("vids", 0, 0, 0xFFFFFFF0u, 0xFFFFFFFFu, 0)}),
                                  List("strl", {Strh("auds", 0, 0, 0, 5, 4), Chunk("strf", PcmFormat())})});
  const auto movi = List("movi", {Chunk("00dc", Bytes(6, 1)), Chunk("01wb", Bytes(8, 2)), Chunk("00dc", Bytes(3, 3))});
  const auto idx1 = Chunk("idx1", Concat({Idx1Entry("00dc", AVIIF_KEYFRAME, 4, 6), Idx1Entry("01wb", 0, 18, 8),
                                          Idx1Entry("00dc", 0, 0x7FFFFF00u, 0x7FFFFFFFu),
                                          Idx1Entry("00dc", 0, 34, 3)}));
  const auto file = List("AVI ", {hdrl, movi, idx1}, "RIFF");
  TOpenAvi avi;
  ASSERT_TRUE(avi.OpenBytes(file));
  PAVISTREAM v = avi.video.get();
  EXPECT_EQ(AVIStreamStart(v), 0);
  EXPECT_EQ(AVIStreamLength(v), 2);
  int32_t size = 0;
  EXPECT_EQ(AVIStreamFormatSize(v, 0, &size), AVIERR_NODATA);
  EXPECT_EQ(ReadSample(v, 0), Bytes(6, 1));
  EXPECT_EQ(ReadSample(v, 1), Bytes(3, 3));
  AVISTREAMINFO ai;
  AVIStreamInfo(avi.audio.get(), &ai, sizeof ai);
  EXPECT_EQ(ai.dwScale, 4u);  // taken from the format
  EXPECT_EQ(ai.dwRate, 32000u);
  EXPECT_EQ(AVIStreamLength(avi.audio.get()), 2);
  EXPECT_EQ(AVIStreamSampleToTime(v, 5), -1);  // no rate
}

// An index whose sizes or offsets lie (its chunks overlap or leave the movi list) is
// dropped and the movi list walked, so no stream is handed another stream's bytes. The
// key flags tell which index was used: only idx1 has non-key frames.
TEST(AviFileRead, IndexThatDisagreesWithTheChunksIsDropped) {
  const auto hdrl = List("hdrl", {Avih(), List("strl", {Strh("vids", 1, 25, 0, 3, 0), Chunk("strf", VideoFormat(8, 8))}),
                                  List("strl", {Strh("auds", 4, 32000, 0, 0, 4), Chunk("strf", PcmFormat())})});
  // A JPEG-like frame, its sound, and so on: chunk data offsets from the movi code.
  const std::vector<std::pair<const char*, std::vector<uint8_t>>> chunks = {
      {"00dc", Bytes(40, 1)}, {"01wb", Bytes(8, 2)}, {"00dc", Bytes(30, 3)}, {"01wb", Bytes(12, 4)},
      {"00dc", Bytes(36, 5)}, {"01wb", Bytes(4, 6)}};
  std::vector<std::vector<uint8_t>> movi;
  std::vector<uint32_t> offsets;  // of each chunk header, from the "movi" code
  uint32_t at = 4;
  for (const auto& [id, data] : chunks) {
    movi.push_back(Chunk(id, data));
    offsets.push_back(at);
    at += static_cast<uint32_t>(movi.back().size());
  }
  struct TLie {
    const char* name;
    size_t entry;     // the idx1 entry changed
    uint32_t offset;  // 0: as it is
    uint32_t size;    // 0: as it is
  };
  const TLie lies[] = {
      {"honest", 0, 0, 0},
      {"sound size to the end of the file", 1, 0, 0x7FFFFFFF},
      {"sound size into the next frame", 3, 0, 12 + 8 + 36},
      {"size short of the chunk", 2, 0, 20},
      {"offset at a chunk of the stream with another size", 5, offsets[1], 0},
      {"offset at a frame of the size given", 1, offsets[0], 40},
      {"offset outside the file", 4, 0x7FFFFF00u, 0},
  };
  for (const TLie& lie : lies) {
    SCOPED_TRACE(lie.name);
    std::vector<uint8_t> entries;
    for (size_t i = 0; i < chunks.size(); ++i) {
      const bool video = chunks[i].first[2] == 'd';
      uint32_t offset = offsets[i], size = static_cast<uint32_t>(chunks[i].second.size());
      if (i == lie.entry && lie.offset) offset = lie.offset;
      if (i == lie.entry && lie.size) size = lie.size;
      const auto e = Idx1Entry(chunks[i].first, video && i != 2 ? AVIIF_KEYFRAME : 0, offset, size);
      entries.insert(entries.end(), e.begin(), e.end());
    }
    const auto file = List("AVI ", {hdrl, List("movi", movi), Chunk("idx1", entries)}, "RIFF");
    TOpenAvi avi;
    ASSERT_TRUE(avi.OpenBytes(file));
    PAVISTREAM v = avi.video.get();
    ASSERT_EQ(AVIStreamLength(v), 3);
    EXPECT_EQ(ReadSample(v, 0), Bytes(40, 1));
    EXPECT_EQ(ReadSample(v, 1), Bytes(30, 3));
    EXPECT_EQ(ReadSample(v, 2), Bytes(36, 5));
    EXPECT_EQ(AVIStreamLength(avi.audio.get()), 6);
    EXPECT_EQ(ReadAllBytes(avi.audio.get()), Concat({Bytes(8, 2), Bytes(12, 4), Bytes(4, 6)}));
    const bool honest = lie.offset == 0 && lie.size == 0;
    EXPECT_EQ(AVIStreamIsKeyFrame(v, 1), !honest);
  }

  // A frame listed as sound (and not as a frame) lies about nothing but its stream:
  // the index stands, and that chunk is not read as sound.
  std::vector<uint8_t> entries;
  for (size_t i = 0; i < chunks.size(); ++i) {
    const auto e = Idx1Entry(i == 2 ? "01wb" : chunks[i].first, AVIIF_KEYFRAME, offsets[i],
                             static_cast<uint32_t>(chunks[i].second.size()));
    entries.insert(entries.end(), e.begin(), e.end());
  }
  TOpenAvi avi;
  ASSERT_TRUE(avi.OpenBytes(List("AVI ", {hdrl, List("movi", movi), Chunk("idx1", entries)}, "RIFF")));
  ASSERT_EQ(AVIStreamLength(avi.video.get()), 2);
  EXPECT_EQ(ReadSample(avi.video.get(), 1), Bytes(36, 5));
  std::vector<uint8_t> sound(64);
  int32_t bytes = 0, samples = 0;
  EXPECT_EQ(AVIStreamRead(avi.audio.get(), 0, 2, sound.data(), 64, &bytes, &samples), AVIERR_OK);
  EXPECT_EQ(AVIStreamRead(avi.audio.get(), 2, 1, sound.data(), 64, &bytes, &samples), AVIERR_FILEREAD);
  EXPECT_EQ(AVIStreamRead(avi.audio.get(), 0, 16, sound.data(), 64, &bytes, &samples), AVIERR_FILEREAD);

  // A movi list whose size falls short of its chunks: idx1, which follows them, holds.
  entries.clear();
  for (size_t i = 0; i < chunks.size(); ++i) {
    const auto e = Idx1Entry(chunks[i].first, i == 2 ? 0 : AVIIF_KEYFRAME, offsets[i],
                             static_cast<uint32_t>(chunks[i].second.size()));
    entries.insert(entries.end(), e.begin(), e.end());
  }
  auto shortList = List("movi", movi);
  PutLE32(shortList.data() + 4, 4 + 48);  // the first chunk only
  TOpenAvi cut;
  ASSERT_TRUE(cut.OpenBytes(List("AVI ", {hdrl, shortList, Chunk("idx1", entries)}, "RIFF")));
  ASSERT_EQ(AVIStreamLength(cut.video.get()), 3);
  EXPECT_EQ(ReadSample(cut.video.get(), 2), Bytes(36, 5));
  EXPECT_FALSE(AVIStreamIsKeyFrame(cut.video.get(), 1));
}

// ---------------------------------------------------------------------------------
// Damaged copies of real files.

// Opens the bytes and reads every sample; the open may fail, reads may give error
// codes, nothing may read outside the file. Returns the frames read (empty on failure).
std::vector<std::vector<uint8_t>> ReadEverything(const std::vector<uint8_t>& bytes) {
  std::vector<std::vector<uint8_t>> frames;
  PAVIFILE f = nullptr;
  if (AVIFileOpenIO(&f, std::make_shared<TMemoryAviIO>(bytes.data(), bytes.size()), OF_READ) != AVIERR_OK) {
    EXPECT_EQ(f, nullptr);
    return frames;
  }
  for (int32_t i = 0;; ++i) {
    PAVISTREAM s = nullptr;
    if (AVIFileGetStream(f, &s, 0, i) != AVIERR_OK) break;
    AVISTREAMINFO info;
    AVIStreamInfo(s, &info, sizeof info);
    const int32_t end = AVIStreamEnd(s);
    if (info.dwSampleSize > 0)
      EXPECT_LE(uint64_t(AVIStreamLength(s)) * info.dwSampleSize, bytes.size());
    else
      EXPECT_LE(uint64_t(AVIStreamLength(s)), bytes.size() / 8 + 64);
    for (int32_t pos = AVIStreamStart(s); pos < end;) {
      int32_t n = 0, samples = 0;
      HRESULT r = AVIStreamRead(s, pos, 4096, nullptr, 0, &n, &samples);
      if (r != AVIERR_OK) {
        EXPECT_TRUE(r == AVIERR_FILEREAD || r == AVIERR_NODATA) << AviErrorText(r);
        if (info.fccType == streamtypeVIDEO) frames.emplace_back();
        ++pos;
        continue;
      }
      EXPECT_LE(uint64_t(n), bytes.size());
      std::vector<uint8_t> d(static_cast<size_t>(n));
      // Sound runs may reach a chunk that is not in the file only when read, and a chunk
      // whose own header disagrees with the index is not read.
      r = AVIStreamRead(s, pos, 4096, d.data(), n, &n, &samples);
      EXPECT_TRUE(r == AVIERR_OK || r == AVIERR_FILEREAD) << AviErrorText(r);
      if (r != AVIERR_OK) d.clear();
      if (info.fccType == streamtypeVIDEO) frames.push_back(std::move(d));
      pos += std::max(samples, 1);
    }
    AVIStreamRelease(s);
  }
  AVIFileRelease(f);
  return frames;
}

TEST(AviFileRead, DamagedFilesFailCleanly) {
  REQUIRE_PROGRAM("ffmpeg");
  TTempDir dir;
  const auto good = ReadBytes(MakeFfmpegAvi(dir, "d.avi", "-c:v mpeg4 -g 12", "-c:a pcm_s16le"));
  const auto original = ReadEverything(good);
  ASSERT_GE(original.size(), 50u);

  // Truncations: the frames that are whole in the shorter file read as before.
  for (size_t len = 0; len < good.size(); len += (len < 12000 ? 29 : 997)) {
    const std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(len));
    const auto frames = ReadEverything(cut);
    for (size_t i = 0; i + 1 < frames.size(); ++i)
      if (!frames[i].empty() && !frames[i + 1].empty()) {
        EXPECT_EQ(frames[i], original[i]) << len << " " << i;
      }
  }
  {
    const std::vector<uint8_t> half(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(good.size() / 2));
    const auto frames = ReadEverything(half);
    EXPECT_GT(frames.size(), 15u);  // without idx1 the movi list is walked
    EXPECT_LT(frames.size(), original.size());
  }

  // Every size field of the file set to values that lie.
  const uint32_t lies[] = {0, 1, 3, 0x7FFFFFFF, 0xFFFFFFFF, 0xFFFFFFF8};
  for (size_t at = 0; at + 8 <= good.size(); ++at) {
    const FOURCC id = GetLE32(good.data() + at);
    if (!(id == ckidRIFF || id == ckidLIST || id == ckidAVIMAINHDR || id == ckidSTREAMHEADER ||
          id == ckidSTREAMFORMAT || id == ckidAVINEWINDEX || id == ckidJUNK ||
          (at > good.size() / 2 && id == FourCCFromString("00dc") && at % 5 == 0)))
      continue;
    for (uint32_t lie : lies) {
      auto bad = good;
      PutLE32(bad.data() + at + 4, lie);
      ReadEverything(bad);
    }
  }

  // idx1 entries pointing outside the file, or with absurd sizes.
  const size_t idx1 = [&] {
    for (size_t at = good.size() - 8; at > 0; --at)
      if (GetLE32(good.data() + at) == ckidAVINEWINDEX) return at;
    return size_t(0);
  }();
  ASSERT_GT(idx1, 0u);
  auto bad = good;
  for (size_t e = idx1 + 8; e + 16 * 4 <= bad.size(); e += 16 * 7) {
    PutLE32(bad.data() + e + 8, 0xFFFFFF00u);
    PutLE32(bad.data() + e + 12 + 16 * 3, 0xFFFFFFF0u);
  }
  const auto frames = ReadEverything(bad);
  EXPECT_EQ(frames.size(), original.size());
  // idx1 gone: the movi list is walked, same frames (all marked key frames).
  auto noIndex = good;
  noIndex.resize(idx1);
  PutLE32(noIndex.data() + 4, static_cast<uint32_t>(idx1 - 8));
  EXPECT_EQ(ReadEverything(noIndex), original);
}

// ffmpeg writes OpenDML (indx, ix##, AVIX) only past 1 GB: such a file is read frame
// for frame as ffmpeg reads it. Long suite only:
//   MOVARA_LONG_TESTS=1 build/test_platform --gtest_filter='*LONG_*'
TEST(AviFileRead, LONG_FfmpegOpenDmlFile) {
  const char* longTests = std::getenv("MOVARA_LONG_TESTS");
  if (!longTests || std::string(longTests) != "1") GTEST_SKIP() << "set MOVARA_LONG_TESTS=1 to run";
  REQUIRE_PROGRAM("ffmpeg");
  TTempDir dir;
  const std::string file = dir.File("big.avi");
  ASSERT_EQ(RunCommand("ffmpeg -v error -y -f lavfi -i testsrc=size=640x480:rate=25 -f lavfi -i "
                       "sine=sample_rate=44100 -t 50 -c:v rawvideo -pix_fmt bgr24 -c:a pcm_s16le " +
                       Quote(file))
                .exitCode,
            0);
  TOpenAvi avi;
  ASSERT_TRUE(avi.Open(file));
  ASSERT_TRUE(avi.video && avi.audio);
  EXPECT_EQ(AVIStreamLength(avi.video.get()), 1250);
  const auto packets = FramePackets(file, "0:v");
  ASSERT_EQ(packets.size(), 1250u);
  for (const TPacket& p : packets) {
    const auto frame = ReadSample(avi.video.get(), static_cast<int32_t>(p.pts));
    ASSERT_EQ(Md5(frame), p.md5) << "frame " << p.pts;
  }
  const std::string data = dir.File("audio.bin");
  ASSERT_EQ(RunCommand("ffmpeg -v error -i " + Quote(file) + " -map 0:a -c copy -f data " + Quote(data)).exitCode, 0);
  EXPECT_EQ(Md5(ReadAllBytes(avi.audio.get())), Md5(ReadBytes(data)));
}

}  // namespace
}  // namespace movara
