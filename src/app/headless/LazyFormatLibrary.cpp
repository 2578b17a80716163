// libavformat for the headless program, loaded at its first call. Only the phone
// containers (reading them, writing MP4 films) need it, and it brings some forty
// libraries of its own whose loading every subcommand would otherwise wait for. Each
// function the program calls is defined here and hands over to the library's own.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

extern "C" {
#include <libavformat/avformat.h>
}

namespace {

#define MOVARA_TEXT2(x) #x
#define MOVARA_TEXT(x) MOVARA_TEXT2(x)

// The library's function of that name in the version the program was built against.
void* FormatSymbol(const char* name) {
  static void* const library =
      dlopen("libavformat.so." MOVARA_TEXT(LIBAVFORMAT_VERSION_MAJOR), RTLD_NOW | RTLD_LOCAL);
  void* f = library ? dlvsym(library, name, "LIBAVFORMAT_" MOVARA_TEXT(LIBAVFORMAT_VERSION_MAJOR)) : nullptr;
  if (!f && library) f = dlsym(library, name);
  if (!f) {
    // the installation lacks the library the program was built with
    std::fprintf(stderr, "movara: libavformat (%s) cannot be used: %s\n", name, dlerror());
    std::abort();
  }
  return f;
}

}  // namespace

#define MOVARA_REAL(name) \
  ([] { \
    static void* const f = FormatSymbol(#name); \
    return reinterpret_cast<decltype(&name)>(f); \
  }())

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

extern "C" {

int av_find_best_stream(AVFormatContext* ic, enum AVMediaType type, int wanted, int related, const AVCodec** decoder,
                        int flags) {
  return MOVARA_REAL(av_find_best_stream)(ic, type, wanted, related, decoder, flags);
}
int av_interleaved_write_frame(AVFormatContext* s, AVPacket* pkt) {
  return MOVARA_REAL(av_interleaved_write_frame)(s, pkt);
}
int av_read_frame(AVFormatContext* s, AVPacket* pkt) { return MOVARA_REAL(av_read_frame)(s, pkt); }
int av_seek_frame(AVFormatContext* s, int stream, int64_t timestamp, int flags) {
  return MOVARA_REAL(av_seek_frame)(s, stream, timestamp, flags);
}
uint8_t* av_stream_get_side_data(const AVStream* stream, enum AVPacketSideDataType type, size_t* size) {
  return MOVARA_REAL(av_stream_get_side_data)(stream, type, size);
}
int av_write_trailer(AVFormatContext* s) { return MOVARA_REAL(av_write_trailer)(s); }
int avformat_alloc_output_context2(AVFormatContext** ctx, const AVOutputFormat* oformat, const char* format_name,
                                   const char* filename) {
  return MOVARA_REAL(avformat_alloc_output_context2)(ctx, oformat, format_name, filename);
}
void avformat_close_input(AVFormatContext** s) { MOVARA_REAL(avformat_close_input)(s); }
int avformat_find_stream_info(AVFormatContext* ic, AVDictionary** options) {
  return MOVARA_REAL(avformat_find_stream_info)(ic, options);
}
void avformat_free_context(AVFormatContext* s) { MOVARA_REAL(avformat_free_context)(s); }
AVStream* avformat_new_stream(AVFormatContext* s, const AVCodec* c) { return MOVARA_REAL(avformat_new_stream)(s, c); }
int avformat_open_input(AVFormatContext** ps, const char* url, const AVInputFormat* fmt, AVDictionary** options) {
  return MOVARA_REAL(avformat_open_input)(ps, url, fmt, options);
}
int avformat_seek_file(AVFormatContext* s, int stream, int64_t min_ts, int64_t ts, int64_t max_ts, int flags) {
  return MOVARA_REAL(avformat_seek_file)(s, stream, min_ts, ts, max_ts, flags);
}
int avformat_write_header(AVFormatContext* s, AVDictionary** options) {
  return MOVARA_REAL(avformat_write_header)(s, options);
}
int avio_closep(AVIOContext** s) { return MOVARA_REAL(avio_closep)(s); }
int avio_open(AVIOContext** s, const char* url, int flags) { return MOVARA_REAL(avio_open)(s, url, flags); }

}  // extern "C"

#pragma GCC diagnostic pop
