// Owning pointers for the libav* handles the relay uses.
#pragma once

#include <memory>
#include <utility>
#include <utility>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace Qurel {

struct InputContextCloser
{
    void operator()(AVFormatContext *context) const { avformat_close_input(&context); }
};
using InputContextPtr = std::unique_ptr<AVFormatContext, InputContextCloser>;

struct OutputContextCloser
{
    void operator()(AVFormatContext *context) const
    {
        // Output through the caller's own I/O stays the caller's to close.
        if (context->pb && !(context->oformat->flags & AVFMT_NOFILE) && !(context->flags & AVFMT_FLAG_CUSTOM_IO))
            avio_closep(&context->pb);
        avformat_free_context(context);
    }
};
using OutputContextPtr = std::unique_ptr<AVFormatContext, OutputContextCloser>;

struct PacketFree
{
    void operator()(AVPacket *packet) const { av_packet_free(&packet); }
};
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;

inline PacketPtr makePacket()
{
    return PacketPtr(av_packet_alloc());
}

struct DictionaryFree
{
    void operator()(AVDictionary *dictionary) const { av_dict_free(&dictionary); }
};

// An option list handed to libav* calls that take AVDictionary**; it owns the list, so it moves
// but never copies.
class Options
{
public:
    Options() = default;
    Options(const Options &) = delete;
    Options &operator=(const Options &) = delete;
    Options(Options &&other) noexcept
        : m_dict(std::exchange(other.m_dict, nullptr))
    {
    }
    Options &operator=(Options &&other) noexcept
    {
        std::swap(m_dict, other.m_dict);
        return *this;
    }
    ~Options() { av_dict_free(&m_dict); }

    void set(const char *key, const char *value) { av_dict_set(&m_dict, key, value, 0); }
    AVDictionary **get() { return &m_dict; }

private:
    AVDictionary *m_dict = nullptr;
};

struct CodecParametersFree
{
    void operator()(AVCodecParameters *par) const { avcodec_parameters_free(&par); }
};
using CodecParametersPtr = std::unique_ptr<AVCodecParameters, CodecParametersFree>;

struct CodecContextFree
{
    void operator()(AVCodecContext *context) const { avcodec_free_context(&context); }
};
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFree>;

struct FrameFree
{
    void operator()(AVFrame *frame) const { av_frame_free(&frame); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;

} // namespace Qurel
