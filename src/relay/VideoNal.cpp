#include "VideoNal.h"

namespace Qurel {

namespace {

    enum H264Nal { H264SliceNonIdr = 1, H264SliceIdr = 5, H264Sps = 7, H264Pps = 8 };
    // H.265 units 0-31 are slices; 32-34 are VPS, SPS and PPS.
    enum H265Nal { H265LastSlice = 31, H265Vps = 32, H265Pps = 34 };

    struct NalUnit
    {
        const uint8_t *data; // first byte is the NAL header
        size_t size;
    };

    // Calls fn for each NAL unit of an Annex B buffer; stops early when fn returns false.
    template <typename Fn> void forEachNal(const uint8_t *data, size_t size, Fn fn)
    {
        auto findStart = [&](size_t from) {
            for (size_t i = from; i + 3 <= size; ++i)
                if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1)
                    return i;
            return size;
        };
        size_t start = findStart(0);
        while (start < size) {
            const size_t begin = start + 3;
            size_t next = findStart(begin);
            size_t end = next;
            while (end > begin && data[end - 1] == 0) // trailing zeros belong to a 4-byte start code
                --end;
            if (end > begin && !fn(NalUnit { data + begin, end - begin }))
                return;
            start = next;
        }
    }

    bool isH265(AVCodecID codec) { return codec == AV_CODEC_ID_HEVC; }

    int nalType(AVCodecID codec, const NalUnit &nal)
    {
        return isH265(codec) ? (nal.data[0] >> 1) & 0x3f : nal.data[0] & 0x1f;
    }

    bool isSlice(AVCodecID codec, int type)
    {
        return isH265(codec) ? type <= H265LastSlice : type == H264SliceNonIdr || type == H264SliceIdr;
    }

    bool isParameterSet(AVCodecID codec, int type)
    {
        return isH265(codec) ? type >= H265Vps && type <= H265Pps : type == H264Sps || type == H264Pps;
    }

    // Reads the first unsigned Exp-Golomb value of a slice header (after the NAL header byte),
    // skipping emulation prevention bytes. Returns -1 when the unit is too short.
    long firstExpGolomb(const NalUnit &nal)
    {
        uint8_t bytes[8];
        size_t count = 0;
        int zeros = 0;
        for (size_t i = 1; i < nal.size && count < sizeof bytes; ++i) {
            if (zeros >= 2 && nal.data[i] == 3) {
                zeros = 0;
                continue;
            }
            zeros = nal.data[i] == 0 ? zeros + 1 : 0;
            bytes[count++] = nal.data[i];
        }
        const size_t bits = count * 8;
        size_t pos = 0;
        auto bit = [&](size_t p) { return (bytes[p / 8] >> (7 - p % 8)) & 1; };
        int leading = 0;
        while (pos < bits && !bit(pos)) {
            ++leading;
            ++pos;
        }
        if (pos + size_t(leading) >= bits || leading > 31)
            return -1;
        ++pos;
        unsigned long value = 0;
        for (int i = 0; i < leading; ++i)
            value = value << 1 | bit(pos++);
        return long((1ul << leading) - 1 + value);
    }

} // namespace

bool hasNalReader(AVCodecID codec)
{
    return codec == AV_CODEC_ID_H264 || codec == AV_CODEC_ID_HEVC;
}

FirstSlice firstSlice(AVCodecID codec, const uint8_t *data, size_t size)
{
    FirstSlice result = FirstSlice::None;
    forEachNal(data, size, [&](const NalUnit &nal) {
        if (!isSlice(codec, nalType(codec, nal)))
            return true;
        bool continues = false; // an unreadable slice header: kept on its own
        if (isH265(codec)) // the flag is the first bit after the two-byte header
            continues = nal.size >= 3 && !(nal.data[2] & 0x80);
        else
            continues = firstExpGolomb(nal) > 0;
        result = continues ? FirstSlice::ContinuesPicture : FirstSlice::StartsPicture;
        return false;
    });
    return result;
}

bool continuesPicture(AVCodecID codec, const uint8_t *data, size_t size)
{
    return firstSlice(codec, data, size) != FirstSlice::StartsPicture;
}

std::vector<uint8_t> parameterSets(AVCodecID codec, const uint8_t *data, size_t size)
{
    std::vector<uint8_t> out;
    forEachNal(data, size, [&](const NalUnit &nal) {
        if (isParameterSet(codec, nalType(codec, nal))) {
            out.insert(out.end(), { 0, 0, 0, 1 });
            out.insert(out.end(), nal.data, nal.data + nal.size);
        }
        return true;
    });
    return out;
}

} // namespace Qurel
