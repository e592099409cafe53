// makePic: command line, the picture it picks, and what it leaves behind on failure.
#include "CommandLine.h"

#include <QColor>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qurel;

namespace {

const QString kMakePic = QUREL_PROGRAM_DIR "/makePic";

const QStringList kH264 { "-c:v", "libx264", "-pix_fmt", "yuv420p" };

// A clip whose colour changes each second (red, lime, blue), written like the relay writes.
bool makeColourClip(
    const QString &path, const QStringList &colours, double lastSeconds = 1, const QStringList &codec = kH264)
{
    QString graph;
    for (int i = 0; i < colours.size(); ++i)
        graph += QString("color=c=%1:s=320x180:r=15:d=%2[c%3];")
                     .arg(colours[i])
                     .arg(i + 1 == colours.size() ? lastSeconds : 1)
                     .arg(i);
    for (int i = 0; i < colours.size(); ++i)
        graph += QString("[c%1]").arg(i);
    graph += QString("concat=n=%1").arg(colours.size());
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg",
        QStringList { "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i", graph, "-g", "45" } + codec
            + QStringList { "-movflags", "frag_keyframe+empty_moov+default_base_moof", path });
    return ffmpeg.waitForFinished(60000) && ffmpeg.exitCode() == 0;
}

int runMakePic(const QStringList &args)
{
    QProcess tool;
    tool.start(kMakePic, args);
    if (!tool.waitForFinished(30000))
        return -1;
    return tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
}

QColor centre(const QString &path)
{
    const QImage image(path);
    return image.isNull() ? QColor() : image.pixelColor(image.width() / 2, image.height() / 2);
}

} // namespace

class TestMakePic : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path(const QString &name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase()
    {
        QVERIFY(QFile::exists(kMakePic));
        QVERIFY(makeColourClip(path("rgb.mp4"), { "red", "lime", "blue" }));
        QVERIFY(makeColourClip(path("short.mp4"), { "red" }, 0.5));
        QVERIFY(makeColourClip(path("onesecond.mp4"), { "red" }, 1));
        QFile garbage(path("garbage.mp4"));
        QVERIFY(garbage.open(QIODevice::WriteOnly));
        garbage.write(QByteArray(4096, 'x'));
    }

    void readsTheClientsCommandLine()
    {
        const ParsedCommandLine cmd = parseCommandLine({ "-i", "/r/课_1.mp4", "-y", "-f", "image2", "-ss",
            "1", "-t", "2", "-s", "720x405", "/r/Image/课_1.jpg" });
        QVERIFY2(cmd.ok, cmd.error.c_str());
        QCOMPARE(cmd.request.input, std::string("/r/课_1.mp4"));
        QCOMPARE(cmd.request.output, std::string("/r/Image/课_1.jpg"));
        QCOMPARE(cmd.request.seekSeconds, 1.0);
        QCOMPARE(cmd.request.width, 720);
        QCOMPARE(cmd.request.height, 405);
        QVERIFY(cmd.request.overwrite);

        const ParsedCommandLine other = parseCommandLine(
            { "-ss", "00:00:01.5", "-i", "in.mp4", "-frames:v", "1", "-s", "hd720", "out.jpg" });
        QVERIFY(other.ok);
        QCOMPARE(other.request.seekSeconds, 1.5);
        QCOMPARE(other.request.width, 1280);
        QVERIFY(!other.request.overwrite);

        QVERIFY(!parseCommandLine({ "-i", "in.mp4" }).ok);
        QVERIFY(!parseCommandLine({ "out.jpg" }).ok);
        QVERIFY(!parseCommandLine({ "-i", "in.mp4", "-ss", "soon", "out.jpg" }).ok);
        QVERIFY(!parseCommandLine({ "-i", "in.mp4", "-s", "big", "out.jpg" }).ok);
        QVERIFY(!parseCommandLine({ "-i", "in.mp4", "-f", "png", "out.jpg" }).ok);
        QVERIFY(!parseCommandLine({ "-i", "in.mp4", "-vf", "x", "out.jpg" }).ok);
        QVERIFY(!parseCommandLine({ "-i", "in.mp4", "a.jpg", "b.jpg" }).ok);
        QVERIFY(!parseCommandLine({ "-i", "in.mp4", "out.jpg", "-s" }).ok);
    }

    void takesThePictureOneSecondIn_data()
    {
        QTest::addColumn<QStringList>("args");
        const QString in = path("rgb.mp4"), out = path("pic.jpg");
        QTest::newRow("client order")
            << QStringList { "-i", in, "-y", "-f", "image2", "-ss", "1", "-t", "2", "-s", "720x405", out };
        QTest::newRow("seek first") << QStringList { "-ss", "1", "-i", in, "-y", "-s", "720x405", "-f",
            "image2", out };
        QTest::newRow("output options first")
            << QStringList { "-y", "-s", "720x405", "-t", "2", "-f", "image2", "-ss", "1", "-i", in, out };
    }
    void takesThePictureOneSecondIn()
    {
        QFETCH(QStringList, args);
        QFile::remove(path("pic.jpg"));
        QCOMPARE(runMakePic(args), 0);
        const QImage image(path("pic.jpg"));
        QCOMPARE(image.size(), QSize(720, 405));
        const QColor c = centre(path("pic.jpg"));
        QVERIFY2(c.green() > 200 && c.red() < 60 && c.blue() < 60, qPrintable(c.name()));
    }

    // Every picture kind the relay copies into its files has a thumbnail.
    void readsEveryVideoKindTheRelayKeeps_data()
    {
        QTest::addColumn<QStringList>("codec");
        QTest::newRow("h265") << QStringList { "-c:v", "libx265", "-x265-params", "log-level=error", "-tag:v",
            "hvc1", "-pix_fmt", "yuv420p" };
        QTest::newRow("mpeg4") << QStringList { "-c:v", "mpeg4" };
        QTest::newRow("mpeg2") << QStringList { "-c:v", "mpeg2video" };
        QTest::newRow("mjpeg") << QStringList { "-c:v", "mjpeg", "-pix_fmt", "yuvj420p" };
        QTest::newRow("vp9") << QStringList { "-c:v", "libvpx-vp9", "-deadline", "realtime", "-cpu-used", "8" };
    }
    void readsEveryVideoKindTheRelayKeeps()
    {
        QFETCH(QStringList, codec);
        const QString clip = path(QStringLiteral("kind_%1.mp4").arg(QTest::currentDataTag()));
        QVERIFY(makeColourClip(clip, { "red", "lime", "blue" }, 1, codec));
        const QString out = clip + ".jpg";
        QCOMPARE(runMakePic({ "-i", clip, "-y", "-f", "image2", "-ss", "1", "-t", "2", "-s", "720x405", out }), 0);
        QCOMPARE(QImage(out).size(), QSize(720, 405));
        const QColor c = centre(out);
        QVERIFY2(c.green() > 200 && c.red() < 60 && c.blue() < 60, qPrintable(c.name()));
    }

    void shorterRecordingGivesItsFirstPicture_data()
    {
        QTest::addColumn<QString>("clip");
        QTest::newRow("half a second") << "short.mp4";
        QTest::newRow("exactly one second") << "onesecond.mp4";
    }
    void shorterRecordingGivesItsFirstPicture()
    {
        QFETCH(QString, clip);
        const QString out = path(clip + ".jpg");
        QCOMPARE(runMakePic(
                     { "-i", path(clip), "-y", "-f", "image2", "-ss", "1", "-t", "2", "-s", "720x405", out }),
            0);
        QCOMPARE(QImage(out).size(), QSize(720, 405));
        const QColor c = centre(out);
        QVERIFY2(c.red() > 200 && c.green() < 60, qPrintable(c.name()));
    }

    void failuresWriteNothing_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("output");
        QTest::newRow("missing input") << path("absent.mp4") << path("absent.jpg");
        QTest::newRow("not a video") << path("garbage.mp4") << path("garbage.jpg");
        QTest::newRow("missing output folder") << path("rgb.mp4") << path("NoImage/rgb.jpg");
    }
    void failuresWriteNothing()
    {
        QFETCH(QString, input);
        QFETCH(QString, output);
        QVERIFY(
            runMakePic({ "-i", input, "-y", "-f", "image2", "-ss", "1", "-t", "2", "-s", "720x405", output })
            > 0);
        QVERIFY(!QFile::exists(output));
        QVERIFY(!QFile::exists(output + ".part"));
    }

    void keepsAnExistingPictureWithoutYes()
    {
        const QString out = path("kept.jpg");
        QFile existing(out);
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write("old");
        existing.close();
        QVERIFY(runMakePic({ "-i", path("rgb.mp4"), "-ss", "1", "-s", "720x405", out }) > 0);
        QCOMPARE(QFile(out).size(), 3);
        QCOMPARE(runMakePic({ "-i", path("rgb.mp4"), "-bogus", "1", out }), 2);
    }
};

QTEST_GUILESS_MAIN(TestMakePic)
#include "tst_makepic.moc"
