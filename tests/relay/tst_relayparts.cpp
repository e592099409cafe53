// The relay's inner parts: reading the configuration record, finding picture boundaries in
// H.264 packets, and a recording that never receives a picture.
#include "VideoNal.h"
#include "Mp4Writer.h"
#include "RelayConfig.h"
#include "RelayRecord.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qurel;

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

    void noPictureMeansNoFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("empty.mp4");
        Mp4Writer writer(path.toStdString());
        QCOMPARE(writer.finish(), ZMS32_ERR_NO_MEDIA);
        QVERIFY(!QFile::exists(path));
    }
};

QTEST_GUILESS_MAIN(TestRelayParts)
#include "tst_relayparts.moc"
