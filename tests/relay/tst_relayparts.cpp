// The relay's inner parts: reading the configuration record, finding picture boundaries in
// H.264 packets, and a recording that never receives a picture.
#include "VideoNal.h"
#include "AudioTranscoder.h"
#include "ClockStepGuard.h"
#include "MediaRules.h"
#include "Mp4Writer.h"
#include "RelayConfig.h"
#include "RelayRecord.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qurel;

Q_DECLARE_METATYPE(AVCodecID)
Q_DECLARE_METATYPE(Qurel::AudioHandling)

namespace {

// Annex B packet from NAL units given as byte lists.
std::vector<uint8_t> annexB(std::initializer_list<std::vector<uint8_t>> units)
{
    std::vector<uint8_t> out;
    for (const auto &unit : units) {
        out.insert(out.end(), { 0, 0, 0, 1 });
        out.insert(out.end(), unit.begin(), unit.end());
    }
    return out;
}

const std::vector<uint8_t> kSps { 0x67, 0x42, 0xc0, 0x1e, 0xda };
const std::vector<uint8_t> kPps { 0x68, 0xce, 0x3c, 0x80 };
// first_mb_in_slice is the first Exp-Golomb value: "1" = 0, "010" = 1, "00000101100..." = 43.
const std::vector<uint8_t> kIdrFirst { 0x65, 0x88, 0x84 };
const std::vector<uint8_t> kIdrSecond { 0x65, 0x05, 0x80, 0x84 };
const std::vector<uint8_t> kPSliceSecond { 0x41, 0x40, 0x12 };

} // namespace

class TestRelayParts : public QObject
{
    Q_OBJECT

private slots:
    void readsTheRecordAtItsOffsets()
    {
        const auto record = Test::makeRelayRecord(
            1, "rtsp://127.0.0.1:554/stream/0?config.login=K", "/tmp/课程/", "课_20150307140509");
        RelayConfig config;
        QVERIFY(parseRelayConfig(record.data(), config));
        QVERIFY(config.tcp);
        QCOMPARE(config.url, std::string("rtsp://127.0.0.1:554/stream/0?config.login=K"));
        QCOMPARE(config.outputPath(), std::string("/tmp/课程/课_20150307140509.mp4"));

        const auto udp = Test::makeRelayRecord(0, "rtsp://a/", "/tmp", "x");
        QVERIFY(parseRelayConfig(udp.data(), config));
        QVERIFY(!config.tcp);
        QCOMPARE(config.outputPath(), std::string("/tmp/x.mp4")); // separator added when missing
    }

    void refusesBadRecords()
    {
        RelayConfig config;
        QVERIFY(!parseRelayConfig(nullptr, config));
        QVERIFY(!parseRelayConfig(Test::makeRelayRecord(2, "rtsp://a/", "/tmp/", "x").data(), config));
        QVERIFY(!parseRelayConfig(Test::makeRelayRecord(-1, "rtsp://a/", "/tmp/", "x").data(), config));
        QVERIFY(!parseRelayConfig(Test::makeRelayRecord(0, "", "/tmp/", "x").data(), config));
        QVERIFY(!parseRelayConfig(Test::makeRelayRecord(0, "rtsp://a/", "", "x").data(), config));
        QVERIFY(!parseRelayConfig(Test::makeRelayRecord(0, "rtsp://a/", "/tmp/", "").data(), config));
        QVERIFY(!parseRelayConfig(Test::makeRelayRecord(0, "rtsp://a/", "/tmp/", "../x").data(), config));
        QVERIFY(!parseRelayConfig(Test::makeRelayRecord(0, "rtsp://a/", "/tmp/", "..").data(), config));

        // A text that fills its field without a closing zero byte.
        auto unterminated = Test::makeRelayRecord(0, "rtsp://a/", "/tmp/", "x");
        std::memset(unterminated.data() + ZMS32_OFS_NAME, 'n', ZMS32_LEN_NAME);
        QVERIFY(!parseRelayConfig(unterminated.data(), config));
    }

    void findsSlicesThatContinueAPicture()
    {
        const auto keyStart = annexB({ kSps, kPps, kIdrFirst });
        const auto keyRest = annexB({ kSps, kPps, kIdrSecond });
        const auto pRest = annexB({ kPSliceSecond });
        const auto setsOnly = annexB({ kSps, kPps });
        QVERIFY(!continuesPicture(AV_CODEC_ID_H264, keyStart.data(), keyStart.size()));
        QVERIFY(continuesPicture(AV_CODEC_ID_H264, keyRest.data(), keyRest.size()));
        QVERIFY(continuesPicture(AV_CODEC_ID_H264, pRest.data(), pRest.size()));
        QVERIFY(continuesPicture(AV_CODEC_ID_H264, setsOnly.data(), setsOnly.size()));

        // Three-byte start codes and an emulation prevention byte inside the slice header.
        const std::vector<uint8_t> shortCodes { 0, 0, 1, 0x67, 0x42, 0, 0, 1, 0x65, 0x88 };
        QVERIFY(!continuesPicture(AV_CODEC_ID_H264, shortCodes.data(), shortCodes.size()));
        const std::vector<uint8_t> escaped { 0, 0, 1, 0x41, 0x00, 0x00, 0x03, 0x01, 0xff, 0xff, 0xff, 0xff };
        QVERIFY(continuesPicture(AV_CODEC_ID_H264, escaped.data(), escaped.size())); // 23 zero bits, then a large value
        const std::vector<uint8_t> truncated { 0, 0, 1, 0x41, 0x00 };
        QVERIFY(!continuesPicture(AV_CODEC_ID_H264, truncated.data(), truncated.size())); // unreadable: kept on its own
    }

    void extractsParameterSets()
    {
        const auto key = annexB({ { 0x06, 0x05, 0x01 }, kSps, kPps, kIdrFirst });
        const auto sets = parameterSets(AV_CODEC_ID_H264, key.data(), key.size());
        QCOMPARE(sets, annexB({ kSps, kPps }));
        const auto p = annexB({ kPSliceSecond });
        QVERIFY(parameterSets(AV_CODEC_ID_H264, p.data(), p.size()).empty());
    }

    void readsH265Units()
    {
        // Two-byte headers, the type in bits 1-6: VPS 32, SPS 33, PPS 34, IDR_W_RADL 19, TRAIL_R 1;
        // the slice's first bit after the header is first_slice_segment_in_pic_flag.
        const std::vector<uint8_t> vps { 0x40, 0x01, 0x0c }, sps { 0x42, 0x01, 0x01 }, pps { 0x44, 0x01, 0xc1 };
        const std::vector<uint8_t> idrFirst { 0x26, 0x01, 0xaf }, idrSecond { 0x26, 0x01, 0x2f };
        const std::vector<uint8_t> trailSecond { 0x02, 0x01, 0x40 };
        const auto key = annexB({ vps, sps, pps, idrFirst });
        const auto keyRest = annexB({ vps, sps, pps, idrSecond });
        const auto rest = annexB({ trailSecond });
        const auto setsOnly = annexB({ vps, sps, pps });
        QCOMPARE(firstSlice(AV_CODEC_ID_HEVC, key.data(), key.size()), FirstSlice::StartsPicture);
        QCOMPARE(firstSlice(AV_CODEC_ID_HEVC, keyRest.data(), keyRest.size()), FirstSlice::ContinuesPicture);
        QCOMPARE(firstSlice(AV_CODEC_ID_HEVC, rest.data(), rest.size()), FirstSlice::ContinuesPicture);
        QCOMPARE(firstSlice(AV_CODEC_ID_HEVC, setsOnly.data(), setsOnly.size()), FirstSlice::None);
        QCOMPARE(parameterSets(AV_CODEC_ID_HEVC, key.data(), key.size()), setsOnly);
        // Read as H.264, the same bytes mean something else: the codec decides.
        QVERIFY(parameterSets(AV_CODEC_ID_H264, key.data(), key.size()) != setsOnly);
    }

    // MPEG-4 Part 2 (older cameras): its configuration, as a session description gives it and as
    // a keyframe repeats it, tells the picture size, so the stream starts without a look at packets.
    void readsMpeg4Configuration()
    {
        const QByteArray config = QByteArray::fromHex("000001b001000001b58913000001000000012000c48d8ffffd0a04169463"
                                                      "000001b24c61766335392e33372e313030");
        const auto *bytes = reinterpret_cast<const uint8_t *>(config.constData());
        CodecParametersPtr par(avcodec_parameters_alloc());
        par->codec_type = AVMEDIA_TYPE_VIDEO;
        par->codec_id = AV_CODEC_ID_MPEG4;
        QVERIFY(isCopyableVideo(*par)); // before its size is known
        QVERIFY(readPictureSize(*par, bytes, config.size()));
        QCOMPARE(par->width, 320);
        QCOMPARE(par->height, 180);

        QByteArray keyframe = config + QByteArray::fromHex("000001b610203040");
        const auto headers = streamHeaders(AV_CODEC_ID_MPEG4, reinterpret_cast<const uint8_t *>(keyframe.constData()), size_t(keyframe.size()));
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(headers.data()), int(headers.size())), config);
        const QByteArray picture = QByteArray::fromHex("000001b610203040");
        QVERIFY(streamHeaders(AV_CODEC_ID_MPEG4, reinterpret_cast<const uint8_t *>(picture.constData()), size_t(picture.size())).empty());

        par->codec_id = AV_CODEC_ID_VP8; // no size and none to come: the file cannot take it
        par->width = par->height = 0;
        QVERIFY(!isCopyableVideo(*par));
    }

    void choosesHowSoundIsKept_data()
    {
        QTest::addColumn<AVCodecID>("codec");
        QTest::addColumn<int>("rate");
        QTest::addColumn<bool>("configured"); // the description gave the codec's configuration
        QTest::addColumn<AudioHandling>("handling");
        QTest::newRow("AAC") << AV_CODEC_ID_AAC << 48000 << true << AudioHandling::Copied;
        QTest::newRow("AAC without its configuration") << AV_CODEC_ID_AAC << 48000 << false << AudioHandling::Dropped;
        QTest::newRow("MP3") << AV_CODEC_ID_MP3 << 44100 << false << AudioHandling::Copied;
        QTest::newRow("G.711 A-law") << AV_CODEC_ID_PCM_ALAW << 8000 << false << AudioHandling::Transcoded;
        QTest::newRow("G.711 mu-law") << AV_CODEC_ID_PCM_MULAW << 8000 << false << AudioHandling::Transcoded;
        QTest::newRow("G.722") << AV_CODEC_ID_ADPCM_G722 << 16000 << false << AudioHandling::Transcoded;
        QTest::newRow("Opus") << AV_CODEC_ID_OPUS << 48000 << false << AudioHandling::Transcoded;
        QTest::newRow("unknown codec") << AV_CODEC_ID_NONE << 8000 << false << AudioHandling::Dropped;
        QTest::newRow("no sample rate") << AV_CODEC_ID_PCM_ALAW << 0 << false << AudioHandling::Dropped;
    }
    void choosesHowSoundIsKept()
    {
        QFETCH(AVCodecID, codec);
        QFETCH(int, rate);
        QFETCH(bool, configured);
        QFETCH(AudioHandling, handling);
        CodecParametersPtr par(avcodec_parameters_alloc());
        par->codec_type = AVMEDIA_TYPE_AUDIO;
        par->codec_id = codec;
        par->sample_rate = rate;
        av_channel_layout_default(&par->ch_layout, 1);
        if (configured) {
            par->extradata = static_cast<uint8_t *>(av_mallocz(2 + AV_INPUT_BUFFER_PADDING_SIZE));
            par->extradata_size = 2;
        }
        QCOMPARE(audioHandlingFor(*par), handling);
    }

    // Two seconds of G.711 in 20 ms packets, 100 ms of them lost and 200 ms sent twice: the AAC
    // that comes out runs on without a break and lasts the two seconds.
    void transcodedSoundFillsGapsAndSkipsRepeats()
    {
        CodecParametersPtr par(avcodec_parameters_alloc());
        par->codec_type = AVMEDIA_TYPE_AUDIO;
        par->codec_id = AV_CODEC_ID_PCM_ALAW;
        par->sample_rate = 8000;
        av_channel_layout_default(&par->ch_layout, 1);
        AudioTranscoder transcoder(*par, AVRational { 1, 8000 });
        QVERIFY(transcoder.isOpen());
        QCOMPARE(transcoder.output().codec_id, AV_CODEC_ID_AAC);
        QCOMPARE(av_cmp_q(transcoder.timeBase(), AVRational { 1, 8000 }), 0);

        std::vector<int64_t> starts;
        int64_t end = 0;
        const AudioTranscoder::Sink sink = [&](AVPacket *out) {
            starts.push_back(out->pts);
            end = out->pts + out->duration;
        };
        std::vector<int> order;
        for (int i = 0; i < 100; ++i)
            if (i < 40 || i >= 45) // lost
                order.push_back(i);
        order.insert(order.begin() + 70, order.begin() + 50, order.begin() + 60); // repeated
        PacketPtr packet = makePacket();
        for (const int i : order) {
            QCOMPARE(av_new_packet(packet.get(), 160), 0);
            std::memset(packet->data, i % 2 ? 0x55 : 0xd5, 160);
            packet->pts = packet->dts = i * 160;
            QVERIFY(transcoder.push(*packet, sink));
            av_packet_unref(packet.get());
        }
        transcoder.drain(sink);
        QVERIFY(!starts.empty());
        for (size_t k = 1; k < starts.size(); ++k)
            QCOMPARE(starts[k] - starts[k - 1], int64_t(1024));
        // From the priming frame before the first sample to the end of the last one.
        QCOMPARE(starts.front(), int64_t(-1024));
        QCOMPARE(end, int64_t(16000));
    }

    // 25 pictures a second at 90 kHz; at the 50th the timestamps jump while the arrival times go
    // on: a jump of a stepped clock is taken out, a real silence (arrivals jump too) is kept.
    void clockStepsAreTakenOut_data()
    {
        QTest::addColumn<double>("jump"); // seconds added to the timestamps from the 50th packet
        QTest::addColumn<double>("silence"); // seconds added to the arrival times from the 50th
        QTest::addColumn<double>("kept"); // of the jump, in the corrected timestamps
        QTest::newRow("clock 30 s forward") << 30.0 << 0.0 << 0.0;
        QTest::newRow("clock 30 s back") << -30.0 << 0.0 << 0.0;
        QTest::newRow("half a second of jitter") << 0.5 << 0.0 << 0.5;
        QTest::newRow("2 s without packets") << 2.0 << 2.0 << 2.0;
    }
    void clockStepsAreTakenOut()
    {
        QFETCH(double, jump);
        QFETCH(double, silence);
        QFETCH(double, kept);
        AVFormatContext *raw = avformat_alloc_context();
        QVERIFY(avformat_new_stream(raw, nullptr));
        raw->streams[0]->time_base = AVRational { 1, 90000 };
        ClockStepGuard guard;
        guard.reset(*raw);
        avformat_free_context(raw);
        PacketPtr packet = makePacket();
        int steps = 0;
        for (int i = 0; i < 100; ++i) {
            const bool after = i >= 50;
            packet->pts = packet->dts = i * 3600 + (after ? int64_t(jump * 90000) : 0);
            steps += guard.correct(*packet, i * 40000 + (after ? int64_t(silence * 1e6) : 0));
            QCOMPARE(packet->pts, i * 3600 + (after ? int64_t(kept * 90000) : 0));
            QCOMPARE(packet->dts, packet->pts);
        }
        QCOMPARE(steps, kept == jump ? 0 : 1);
    }

    void noPictureMeansNoFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("empty.mp4");
        FileSink sink(path.toStdString());
        QCOMPARE(sink.create(), 0);
        Mp4Writer writer(sink);
        QCOMPARE(writer.finish(), ZMS32_ERR_NO_MEDIA);
        sink.discard();
        QVERIFY(!QFile::exists(path));
    }
};

QTEST_GUILESS_MAIN(TestRelayParts)
#include "tst_relayparts.moc"
