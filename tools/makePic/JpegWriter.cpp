#include "JpegWriter.h"

#include <cstdio>
#include <memory>

extern "C" {
#include <libswscale/swscale.h>
}

namespace Qurel {

namespace {

    struct SwsFree
    {
        void operator()(SwsContext *context) const { sws_freeContext(context); }
    };

    struct FileClose
    {
        void operator()(FILE *file) const { std::fclose(file); }
    };

    FramePtr scaled(const AVFrame &source, int width, int height)
    {
        std::unique_ptr<SwsContext, SwsFree> sws(
            sws_getContext(source.width, source.height, AVPixelFormat(source.format), width, height,
                AV_PIX_FMT_YUVJ420P, SWS_BICUBIC, nullptr, nullptr, nullptr));
        FramePtr out(av_frame_alloc());
        if (!sws || !out)
            return nullptr;
        out->format = AV_PIX_FMT_YUVJ420P;
        out->width = width;
        out->height = height;
        if (av_frame_get_buffer(out.get(), 0) < 0)
            return nullptr;
        sws_scale(sws.get(), source.data, source.linesize, 0, source.height, out->data, out->linesize);
        return out;
    }

    PacketPtr encoded(const AVFrame &picture)
    {
        const AVCodec *codec = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
        CodecContextPtr encoder(codec ? avcodec_alloc_context3(codec) : nullptr);
        if (!encoder)
            return nullptr;
        encoder->width = picture.width;
        encoder->height = picture.height;
        encoder->pix_fmt = AV_PIX_FMT_YUVJ420P;
        encoder->time_base = AVRational { 1, 25 };
        encoder->flags |= AV_CODEC_FLAG_QSCALE;
        encoder->global_quality = FF_QP2LAMBDA * 3;
        if (avcodec_open2(encoder.get(), codec, nullptr) < 0)
            return nullptr;
        FramePtr frame(av_frame_clone(&picture));
        if (!frame)
            return nullptr;
        frame->quality = encoder->global_quality;
        frame->pts = 0;
        PacketPtr packet = makePacket();
        if (!packet || avcodec_send_frame(encoder.get(), frame.get()) < 0
            || avcodec_receive_packet(encoder.get(), packet.get()) < 0)
            return nullptr;
        return packet;
    }

} // namespace

std::string writeJpeg(const AVFrame &frame, int width, int height, const std::string &path)
{
    FramePtr picture = scaled(frame, width > 0 ? width : frame.width, height > 0 ? height : frame.height);
    if (!picture)
        return "cannot scale the picture";
    PacketPtr jpeg = encoded(*picture);
    if (!jpeg)
        return "cannot encode the picture";

    // Written beside the target and renamed, so a reader never sees half a picture.
    const std::string partial = path + ".part";
    {
        std::unique_ptr<FILE, FileClose> file(std::fopen(partial.c_str(), "wb"));
        if (!file)
            return "cannot create " + path;
        const bool written = std::fwrite(jpeg->data, 1, size_t(jpeg->size), file.get()) == size_t(jpeg->size);
        if (!written || std::fclose(file.release()) != 0) {
            std::remove(partial.c_str());
            return "cannot write " + path;
        }
    }
    if (std::rename(partial.c_str(), path.c_str()) != 0) {
        std::remove(partial.c_str());
        return "cannot write " + path;
    }
    return {};
}

} // namespace Qurel
