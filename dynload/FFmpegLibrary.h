// FFmpeg, loaded on first use: the program and the sound library reach its functions
// through this table, so starting them costs no FFmpeg at all. The types come from the
// headers; the libraries are the ones whose major versions those headers name.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/frame.h>
#include <libavutil/mathematics.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include "dynload/DynamicLibraries.h"

#include <string>
#include <vector>

// The libraries, in the order they load (each after the ones it needs).
enum TFFmpegPart { ffUtil, ffResample, ffCodec, ffFormat, ffScale, ffPartCount };

// Every function the callers use, with the library that exports it.
#define GC_FFMPEG_FUNCTIONS(X)                                                                   \
    X(ffUtil, av_log_set_level) X(ffUtil, av_strerror) X(ffUtil, av_frame_alloc)                \
    X(ffUtil, av_frame_free) X(ffUtil, av_frame_unref) X(ffUtil, av_frame_move_ref)             \
    X(ffUtil, av_dict_set) X(ffUtil, av_dict_free) X(ffUtil, av_rescale) X(ffUtil, av_rescale_q) \
    X(ffUtil, av_channel_layout_default) X(ffUtil, av_channel_layout_copy)                      \
    X(ffUtil, av_channel_layout_uninit) X(ffUtil, av_opt_set_int) X(ffUtil, av_max_alloc)        \
    X(ffResample, swr_alloc_set_opts2) X(ffResample, swr_set_matrix) X(ffResample, swr_init)    \
    X(ffResample, swr_free) X(ffResample, swr_get_out_samples) X(ffResample, swr_convert)       \
    X(ffCodec, av_packet_alloc) X(ffCodec, av_packet_free) X(ffCodec, av_packet_unref)          \
    X(ffCodec, avcodec_alloc_context3) X(ffCodec, avcodec_free_context)                         \
    X(ffCodec, avcodec_parameters_to_context) X(ffCodec, avcodec_open2)                         \
    X(ffCodec, avcodec_flush_buffers) X(ffCodec, avcodec_send_packet)                           \
    X(ffCodec, avcodec_receive_frame)                                                            \
    X(ffFormat, avformat_alloc_context) X(ffFormat, avformat_open_input) X(ffFormat, avformat_close_input)                          \
    X(ffFormat, avformat_find_stream_info) X(ffFormat, av_find_best_stream)                     \
    X(ffFormat, av_guess_frame_rate) X(ffFormat, av_seek_frame) X(ffFormat, avformat_seek_file) \
    X(ffFormat, av_read_frame) X(ffFormat, av_demuxer_iterate)                                  \
    X(ffScale, sws_getCachedContext) X(ffScale, sws_scale) X(ffScale, sws_freeContext)

GC_DYNLOAD_TABLE(TFFmpegFunctions, "FFmpeg", GC_FFMPEG_FUNCTIONS);

// One loading of the libraries (tests load their own).
using TFFmpegLibrary = TDynamicTable<TFFmpegFunctions>;

// The names matching the headers we were compiled with ("libavformat.so.59", ...),
// indexed by TFFmpegPart.
std::vector<std::string> FFmpegSonames();

// The largest block FFmpeg allocates at once in this process. Its readers allocate what a
// file claims (a WAV's text chunk, a packet, a table) before they read it, so a 4 KB file
// could otherwise cost gigabytes. No real file needs this much in one block: the biggest
// are the frames and packets of video, 140 MB for an 8K picture in 32-bit pixels.
constexpr size_t kFFmpegMaxAlloc = size_t(256) << 20;

// The process's FFmpeg, loaded once by whichever thread asks first and kept to the end,
// with its allocations bounded by kFFmpegMaxAlloc; null when it cannot load, with the
// reason in error (the same reason every time).
const TFFmpegFunctions* FFmpeg(std::string& error);

// How a local file is opened: the name as a file, never as an address ("file:" + path),
// and the options that keep the open to that one file: the file protocol alone and every
// demuxer but those that open further files or addresses a file names (play lists such
// as HLS and concat lists, manifests, numbered picture runs, session descriptions,
// scripts). A show's file could otherwise make FFmpeg read any file the user can.
std::string FFmpegLocalFileUrl(const std::string& path);
void SetFFmpegLocalFileOptions(const TFFmpegFunctions& av, AVDictionary** options);
// True for an "http://" or "https://" address (any case): the only names opened over the
// network.
bool IsFFmpegWebAddress(const std::string& name);
