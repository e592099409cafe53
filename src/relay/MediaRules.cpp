#include "MediaRules.h"

#include "VideoNal.h"

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace Qurel {

AudioHandling audioHandlingFor(const AVCodecParameters &par)
{
    if (par.sample_rate <= 0 || par.ch_layout.nb_channels <= 0)
        return AudioHandling::Dropped;
    switch (par.codec_id) {
    case AV_CODEC_ID_AAC:
        // Raw AAC needs its configuration from the session description, for the file as for a decoder.
        return par.extradata_size > 0 ? AudioHandling::Copied : AudioHandling::Dropped;
    case AV_CODEC_ID_MP3:
    case AV_CODEC_ID_MP2:
        return AudioHandling::Copied;
    default:
        return avcodec_find_decoder(par.codec_id) ? AudioHandling::Transcoded : AudioHandling::Dropped;
    }
}

bool isCopyableVideo(const AVCodecParameters &par)
{
    if (par.codec_type != AVMEDIA_TYPE_VIDEO)
        return false;
    if (hasNalReader(par.codec_id))
        return true;
    const AVOutputFormat *mp4 = av_guess_format("mp4", nullptr, nullptr);
    return (sizeKnownLater(par.codec_id) || (par.width > 0 && par.height > 0))
        && avformat_query_codec(mp4, par.codec_id, FF_COMPLIANCE_NORMAL) == 1;
}

bool sizeKnownLater(AVCodecID codec)
{
    return hasNalReader(codec) || codec == AV_CODEC_ID_MPEG4;
}

std::vector<uint8_t> streamHeaders(AVCodecID codec, const uint8_t *data, size_t size)
{
    if (hasNalReader(codec))
        return parameterSets(codec, data, size);
    if (codec != AV_CODEC_ID_MPEG4 || size < 4 || data[0] || data[1] || data[2] != 1 || data[3] == 0xb6)
        return {};
    // Visual object sequence, object and object layer headers up to the first picture (VOP).
    for (size_t i = 0; i + 3 < size; ++i)
        if (!data[i] && !data[i + 1] && data[i + 2] == 1 && data[i + 3] == 0xb6)
            return std::vector<uint8_t>(data, data + i);
    return {};
}

namespace {

    struct ParserClose
    {
        void operator()(AVCodecParserContext *parser) const { av_parser_close(parser); }
    };
    struct ContextFree
    {
        void operator()(AVCodecContext *context) const { avcodec_free_context(&context); }
    };

} // namespace

bool readPictureSize(AVCodecParameters &par, const uint8_t *data, int size)
{
    std::unique_ptr<AVCodecParserContext, ParserClose> parser(av_parser_init(par.codec_id));
    std::unique_ptr<AVCodecContext, ContextFree> context(avcodec_alloc_context3(nullptr));
    if (!parser || !context || avcodec_parameters_to_context(context.get(), &par) < 0)
        return false;
    parser->flags |= PARSER_FLAG_COMPLETE_FRAMES;
    uint8_t *out = nullptr;
    int outSize = 0;
    av_parser_parse2(parser.get(), context.get(), &out, &outSize, data, size, AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
    // H.264/H.265 parsers tell the size themselves, MPEG-4's sets it on the codec context.
    const int width = parser->width > 0 ? parser->width : context->width;
    const int height = parser->height > 0 ? parser->height : context->height;
    if (width <= 0 || height <= 0)
        return false;
    par.width = width;
    par.height = height;
    if (par.format < 0)
        par.format = parser->format >= 0 ? parser->format : context->pix_fmt;
    return true;
}

} // namespace Qurel
