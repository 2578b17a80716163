#include "base/JpegFile.h"

// jpeglib.h needs size_t and FILE declared before it.
#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <new>

#include <jpeglib.h>
// after jpeglib.h
#include <jerror.h>

#include "base/Format.h"
#include "base/LoadFailure.h"
#include "base/Trace.h"

namespace movara {

namespace {

// A progressive file whose scans never end could keep the decoder busy for minutes
// over one small damaged file; real files have a dozen scans.
constexpr int kMaxJpegScans = 500;
// libjpeg's own working memory (the whole-picture coefficient buffers of progressive
// files) besides the picture we hand back.
constexpr long kMaxJpegWorkMemory = 1L << 30;
// Every block of a full-resolution component costs at least one bit of Huffman data,
// so a file cannot hold more than 512 pixels per byte; with a margin of two, a header
// claiming more belongs to a cut or lying file and is refused before any allocation.
constexpr int64_t kMaxPixelsPerHuffmanByte = 1024;

// libjpeg reports errors through error_exit, which must not return: we jump back to
// the setjmp of the call that started the work. Warnings (corrupt entropy data, a
// premature end) go to emit_message; libjpeg repairs those itself.
struct TJpegErrorMgr {
  jpeg_error_mgr pub;  // first: libjpeg sees only this part
  jmp_buf jump;
  bool cutShort = false;  // the data ended before half of the picture arrived
};

[[noreturn]] void JpegErrorExit(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<TJpegErrorMgr*>(cinfo->err);
  if (TraceEnabled()) {
    char text[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, text);
    TraceF("[JpegFile] %s", text);
  }
  longjmp(err->jump, 1);
}

void JpegOutputMessage(j_common_ptr cinfo) {
  if (!TraceEnabled()) return;
  char text[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, text);
  TraceF("[JpegFile] warning: %s", text);
}

void JpegEmitMessage(j_common_ptr cinfo, int msgLevel) {
  if (msgLevel >= 0) return;  // trace messages
  jpeg_error_mgr* pub = cinfo->err;
  if (pub->num_warnings++ == 0) (*pub->output_message)(cinfo);
  // The memory source pads a cut file with an end-of-image marker and carries on, so
  // the missing part decodes as flat grey. A picture of which we got at least half of
  // the first scan is kept that way; less than that is refused.
  if (pub->msg_code == JWRN_JPEG_EOF && cinfo->is_decompressor) {
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number <= 1 && d->total_iMCU_rows > 0 &&
        static_cast<uint64_t>(d->input_iMCU_row) * 2 < d->total_iMCU_rows) {
      auto* err = reinterpret_cast<TJpegErrorMgr*>(pub);
      err->cutShort = true;
      TraceF("[JpegFile] data ends at MCU row %u of %u: refused",
             static_cast<unsigned>(d->input_iMCU_row), static_cast<unsigned>(d->total_iMCU_rows));
      longjmp(err->jump, 1);
    }
  }
}

void JpegProgress(j_common_ptr cinfo) {
  if (!cinfo->is_decompressor) return;
  auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (d->input_scan_number > kMaxJpegScans) {
    TraceF("[JpegFile] more than %d scans: refused", kMaxJpegScans);
    longjmp(reinterpret_cast<TJpegErrorMgr*>(cinfo->err)->jump, 1);
  }
}

void InstallErrorManager(TJpegErrorMgr& err) {
  jpeg_std_error(&err.pub);
  err.pub.error_exit = JpegErrorExit;
  err.pub.emit_message = JpegEmitMessage;
  err.pub.output_message = JpegOutputMessage;
}

// Everything that lives across the setjmp is owned here, by the caller of the function
// that calls setjmp, so a longjmp never skips a destructor.
struct TJpegDecoder {
  jpeg_decompress_struct cinfo;
  TJpegErrorMgr err;
  jpeg_progress_mgr progress;
  std::vector<uint8_t> row;  // CMYK rows before conversion

  TJpegDecoder() {
    std::memset(&cinfo, 0, sizeof cinfo);
    std::memset(&progress, 0, sizeof progress);
  }
};

// Adobe applications store CMYK inverted (0 = full ink) and mark the file with their
// APP14 segment; other writers store plain ink amounts.
void CmykRowToBgr(const uint8_t* src, uint8_t* dst, int width, bool inverted) {
  for (int x = 0; x < width; ++x, src += 4, dst += 3) {
    int c = src[0], m = src[1], y = src[2], k = src[3];
    if (!inverted) {
      c = 255 - c;
      m = 255 - m;
      y = 255 - y;
      k = 255 - k;
    }
    // (255 - ink) * (255 - black) / 255, rounded to nearest
    dst[0] = static_cast<uint8_t>((y * k * 2 + 255) / 510);
    dst[1] = static_cast<uint8_t>((m * k * 2 + 255) / 510);
    dst[2] = static_cast<uint8_t>((c * k * 2 + 255) / 510);
  }
}

// The part that runs under setjmp: no object with a destructor is made here.
bool DecodeJpeg(TJpegDecoder& d, const uint8_t* data, size_t size, TDIB& out) {
  jpeg_decompress_struct& cinfo = d.cinfo;
  InstallErrorManager(d.err);
  cinfo.err = &d.err.pub;
  if (setjmp(d.err.jump)) return false;

  jpeg_create_decompress(&cinfo);
  cinfo.mem->max_memory_to_use = kMaxJpegWorkMemory;
  d.progress.progress_monitor = JpegProgress;
  cinfo.progress = &d.progress;
  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
  if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) return false;

  const int64_t width = cinfo.image_width, height = cinfo.image_height;
  if (width <= 0 || height <= 0 || width > kMaxDibSide || height > kMaxDibSide ||
      width * height > kMaxDibPixels) {
    TraceF("[JpegFile] picture size %lld x %lld refused", static_cast<long long>(width),
           static_cast<long long>(height));
    NoteLoadFailure(Format("a JPEG picture of %lld x %lld pixels is too large", static_cast<long long>(width),
                           static_cast<long long>(height)));
    return false;
  }
  // Arithmetic coding can squeeze a flat picture below any bound, so only Huffman
  // files are held to the data size.
  if (!cinfo.arith_code &&
      width * height > static_cast<int64_t>(size) * kMaxPixelsPerHuffmanByte) {
    TraceF("[JpegFile] %lld x %lld pixels cannot come from %zu bytes",
           static_cast<long long>(width), static_cast<long long>(height), size);
    NoteLoadFailure(Format("a JPEG of %zu bytes cannot hold a picture of %lld x %lld pixels", size,
                           static_cast<long long>(width), static_cast<long long>(height)));
    return false;
  }

  bool cmyk = false;
  switch (cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE:
    case JCS_YCbCr:
    case JCS_RGB:
      cinfo.out_color_space = JCS_EXT_BGR;
      break;
    case JCS_CMYK:
    case JCS_YCCK:
      cinfo.out_color_space = JCS_CMYK;
      cmyk = true;
      break;
    default:
      TraceF("[JpegFile] unsupported colour space %d with %d components",
             static_cast<int>(cinfo.jpeg_color_space), cinfo.num_components);
      return false;
  }

  jpeg_start_decompress(&cinfo);
  const int w = static_cast<int>(cinfo.output_width);
  const int h = static_cast<int>(cinfo.output_height);
  out.SetSize(w, h, 24);
  const bool inverted = cmyk && cinfo.saw_Adobe_marker;
  if (cmyk) d.row.resize(static_cast<size_t>(w) * 4);
  while (cinfo.output_scanline < cinfo.output_height) {
    const int y = static_cast<int>(cinfo.output_scanline);
    JSAMPROW rowPtr = cmyk ? d.row.data() : out.ScanLine(y);
    if (jpeg_read_scanlines(&cinfo, &rowPtr, 1) != 1) return false;
    if (cmyk) CmykRowToBgr(d.row.data(), out.ScanLine(y), w, inverted);
  }
  jpeg_finish_decompress(&cinfo);
  return true;
}

// Appends the compressed stream to a vector through a fixed staging buffer.
struct TJpegDest {
  jpeg_destination_mgr pub;  // first
  std::vector<uint8_t>* out = nullptr;
  uint8_t buffer[64 * 1024];
};

void DestInit(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<TJpegDest*>(cinfo->dest);
  dest->pub.next_output_byte = dest->buffer;
  dest->pub.free_in_buffer = sizeof dest->buffer;
}

// Appends n staged bytes; a failed allocation becomes a libjpeg error (which must
// not start inside the catch block).
void DestFlush(j_compress_ptr cinfo, size_t n) {
  auto* dest = reinterpret_cast<TJpegDest*>(cinfo->dest);
  bool failed = false;
  try {
    dest->out->insert(dest->out->end(), dest->buffer, dest->buffer + n);
  } catch (const std::exception&) {
    failed = true;
  }
  if (failed) ERREXIT(cinfo, JERR_OUT_OF_MEMORY);
}

boolean DestEmpty(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<TJpegDest*>(cinfo->dest);
  DestFlush(cinfo, sizeof dest->buffer);
  dest->pub.next_output_byte = dest->buffer;
  dest->pub.free_in_buffer = sizeof dest->buffer;
  return TRUE;
}

void DestTerm(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<TJpegDest*>(cinfo->dest);
  DestFlush(cinfo, sizeof dest->buffer - dest->pub.free_in_buffer);
}

struct TJpegEncoder {
  jpeg_compress_struct cinfo;
  TJpegErrorMgr err;
  TJpegDest dest;

  TJpegEncoder() { std::memset(&cinfo, 0, sizeof cinfo); }
};

// What one compression takes: the picture as rows of B, G, R(, x) handed out top down,
// or as Y, Cb, Cr planes; the quantisation as a quality or as one table for all three.
struct TJpegJob {
  int width = 0, height = 0;
  bool chroma420 = true;        // else 4:2:2
  int quality = 75;             // when there is no table
  const unsigned int* quant = nullptr;
  bool optimize = false;        // Huffman tables of the picture's own (a second pass)
  int bytesPerPixel = 3;        // rows
  std::function<const uint8_t*(int y)> row;
  const uint8_t* const* planes = nullptr;  // planes (raw data), when given
  const int* strides = nullptr;
};

bool EncodeJpeg(TJpegEncoder& e, const TJpegJob& job, std::vector<uint8_t>& out) {
  jpeg_compress_struct& cinfo = e.cinfo;
  InstallErrorManager(e.err);
  cinfo.err = &e.err.pub;
  if (setjmp(e.err.jump)) return false;

  jpeg_create_compress(&cinfo);
  e.dest.out = &out;
  e.dest.pub.init_destination = DestInit;
  e.dest.pub.empty_output_buffer = DestEmpty;
  e.dest.pub.term_destination = DestTerm;
  cinfo.dest = &e.dest.pub;
  cinfo.image_width = static_cast<JDIMENSION>(job.width);
  cinfo.image_height = static_cast<JDIMENSION>(job.height);
  if (job.planes) {
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_YCbCr;
  } else {
    cinfo.input_components = job.bytesPerPixel;
    cinfo.in_color_space = job.bytesPerPixel == 4 ? JCS_EXT_BGRX : JCS_EXT_BGR;
  }
  jpeg_set_defaults(&cinfo);
  if (job.planes) jpeg_set_colorspace(&cinfo, JCS_YCbCr);
  if (job.quant) {
    jpeg_add_quant_table(&cinfo, 0, job.quant, 100, TRUE);
    for (int c = 0; c < 3; ++c) cinfo.comp_info[c].quant_tbl_no = 0;
  } else {
    jpeg_set_quality(&cinfo, job.quality, TRUE);
  }
  cinfo.raw_data_in = job.planes ? TRUE : FALSE;
  cinfo.dct_method = JDCT_ISLOW;
  cinfo.optimize_coding = job.optimize ? TRUE : FALSE;
  cinfo.comp_info[0].h_samp_factor = 2;
  cinfo.comp_info[0].v_samp_factor = job.chroma420 ? 2 : 1;
  for (int c = 1; c < cinfo.num_components; ++c) {
    cinfo.comp_info[c].h_samp_factor = 1;
    cinfo.comp_info[c].v_samp_factor = 1;
  }

  jpeg_start_compress(&cinfo, TRUE);
  const int h = job.height;
  if (job.planes) {
    // whole block rows at a time; the rows below the picture repeat its last one
    const int lumaRows = job.chroma420 ? 16 : 8;
    const int chromaHeight = job.chroma420 ? (h + 1) / 2 : h;
    JSAMPROW y[16], cb[8], cr[8];
    JSAMPARRAY rows[3] = {y, cb, cr};
    while (cinfo.next_scanline < cinfo.image_height) {
      const int y0 = static_cast<int>(cinfo.next_scanline);
      for (int i = 0; i < lumaRows; ++i)
        y[i] = const_cast<JSAMPROW>(job.planes[0] + static_cast<ptrdiff_t>(std::min(y0 + i, h - 1)) * job.strides[0]);
      const int c0 = job.chroma420 ? y0 / 2 : y0;
      for (int i = 0; i < 8; ++i) {
        const ptrdiff_t r = std::min(c0 + i, chromaHeight - 1);
        cb[i] = const_cast<JSAMPROW>(job.planes[1] + r * job.strides[1]);
        cr[i] = const_cast<JSAMPROW>(job.planes[2] + r * job.strides[2]);
      }
      if (jpeg_write_raw_data(&cinfo, rows, static_cast<JDIMENSION>(lumaRows)) == 0) return false;
    }
  } else {
    JSAMPROW rows[16];
    while (cinfo.next_scanline < cinfo.image_height) {
      const int y0 = static_cast<int>(cinfo.next_scanline);
      const int n = std::min(16, h - y0);
      // libjpeg only reads the rows it is given
      for (int i = 0; i < n; ++i) rows[i] = const_cast<JSAMPROW>(job.row(y0 + i));
      if (jpeg_write_scanlines(&cinfo, rows, static_cast<JDIMENSION>(n)) == 0) return false;
    }
  }
  jpeg_finish_compress(&cinfo);
  return true;
}

// Runs one job; out holds the JPEG, or is empty after a failure.
bool RunJpegJob(const TJpegJob& job, std::vector<uint8_t>& out) {
  auto encoder = std::make_unique<TJpegEncoder>();  // 64 KB staging buffer: not on the stack
  out.clear();
  bool ok = false;
  try {
    ok = EncodeJpeg(*encoder, job, out);
  } catch (const std::exception& e) {
    TraceF("[JpegFile] %s", e.what());
    ok = false;
  }
  jpeg_destroy_compress(&encoder->cinfo);
  if (!ok) out.clear();
  return ok;
}

}  // namespace

bool SaveJpegBgrRowsToBytes(const uint8_t* top, ptrdiff_t step, int width, int height, int bytesPerPixel,
                            bool chroma420, const unsigned int quant[64], std::vector<uint8_t>& out) {
  if (!top || !quant || width <= 0 || height <= 0 || (bytesPerPixel != 3 && bytesPerPixel != 4)) return false;
  TJpegJob job;
  job.width = width;
  job.height = height;
  job.chroma420 = chroma420;
  job.quant = quant;
  job.bytesPerPixel = bytesPerPixel;
  job.row = [top, step](int y) { return top + static_cast<ptrdiff_t>(y) * step; };
  return RunJpegJob(job, out);
}

bool SaveJpegPlanesToBytes(const uint8_t* const planes[3], const int strides[3], int width, int height,
                           bool chroma420, const unsigned int quant[64], std::vector<uint8_t>& out) {
  if (!quant || !planes || !planes[0] || !planes[1] || !planes[2] || width <= 0 || height <= 0) return false;
  const int chromaWidth = (width + 1) / 2;
  if (strides[0] < (width + 15) / 16 * 16 || strides[1] < (chromaWidth + 7) / 8 * 8 ||
      strides[2] < (chromaWidth + 7) / 8 * 8)
    return false;  // libjpeg reads whole blocks
  TJpegJob job;
  job.width = width;
  job.height = height;
  job.chroma420 = chroma420;
  job.quant = quant;
  job.planes = planes;
  job.strides = strides;
  return RunJpegJob(job, out);
}

bool LoadJpegFromBytes(const uint8_t* data, size_t size, TDIB& dib) {
  if (!data || size < 4) return false;
  TJpegDecoder decoder;
  TDIB result;
  bool ok = false;
  try {
    ok = DecodeJpeg(decoder, data, size, result);
  } catch (const std::exception& e) {  // EConvertError, bad_alloc from our own code
    TraceF("[JpegFile] %s", e.what());
    ok = false;
  }
  jpeg_destroy_decompress(&decoder.cinfo);
  if (!ok) return false;
  dib = std::move(result);
  return true;
}

bool SaveJpegToBytes(const TDIB& dib, int quality, std::vector<uint8_t>& out) {
  if (dib.Empty()) return false;
  TJpegJob job;
  job.width = dib.Width();
  job.height = dib.Height();
  job.quality = std::clamp(quality, 1, 100);  // out-of-range qualities are clamped rather than refused
  job.optimize = true;
  // 24- and 32-bit rows go to libjpeg as they are stored; other depths are expanded
  // to B, G, R one row at a time
  std::vector<uint8_t> expanded;
  if (dib.BitCount() == 24 || dib.BitCount() == 32) {
    job.bytesPerPixel = dib.BitCount() / 8;
    job.row = [&dib](int y) { return dib.ScanLine(y); };
  } else {
    expanded.resize(static_cast<size_t>(dib.Width()) * 3 * 16);
    job.row = [&dib, &expanded](int y) {
      uint8_t* p = expanded.data() + static_cast<size_t>(y % 16) * dib.Width() * 3;
      uint8_t* const start = p;
      for (int x = 0; x < dib.Width(); ++x, p += 3) {
        const TColor c = dib.Pixel(x, y);
        p[0] = static_cast<uint8_t>(GetBValue(c));
        p[1] = static_cast<uint8_t>(GetGValue(c));
        p[2] = static_cast<uint8_t>(GetRValue(c));
      }
      return static_cast<const uint8_t*>(start);
    };
  }
  std::vector<uint8_t> bytes;
  if (!RunJpegJob(job, bytes)) return false;
  out = std::move(bytes);
  return true;
}

}  // namespace movara
