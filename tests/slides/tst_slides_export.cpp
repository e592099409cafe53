// TPptEdit against a real office (headless) and the simulated recorder.

#include "OfficeTestKit.h"
#include "PPT.h"
#include "RecorderSim.h"
#include "UserOffice.h"

#include "MessageBoxes.h"
#include "ProgramFolder.h"
#include "UnoPresentationHost.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qurel;

class TestSlidesExport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void presentationWithoutSlidesGainsHeadAndTail();
    void oneSlideGainsTheTail();
    void twoOrMoreSlidesStayAsTheyAre();
    void titleAndTeacherReachOnlyTheImages();
    void refusedHeadSendsNoTail();
    void refusedTailFails();
    void replyIsAcceptedOnlyWithValueZero();
    void unreachableRecorderFailsSilently();
    void officeFailureSendsNothingAndKeepsWorkFiles();
    void convertTo24BitWritesAWindowsBitmap();
    void exportTellsTheOfficeToQuit();
    void failedExportEndsTheOffice();

private:
    QString file(const QString &name) const { return m_dir.filePath(name); }
    QString work(const QString &name) const { return m_program.filePath(name); }
    bool exportAndUpload(const QString &ppt, const QString &title = {}, const QString &teacher = {});
    QStringList workFilesLeft() const;

    QTemporaryDir m_dir;
    QTemporaryDir m_program;
    std::unique_ptr<RecorderSim> m_sim;
    QStringList m_messages;
    int m_quits = 0;
};

void TestSlidesExport::initTestCase()
{
    QVERIFY(m_dir.isValid() && m_program.isValid());
    SetProgramFolderForTesting(m_program.path() + QLatin1Char('/'));
    SetMsgHandler([this](const MsgRequest &request) {
        m_messages << request.text;
        return true;
    });
    SlidesTest::UsePrivateOffice();
    // One office serves every case: the exporter's quit only closes its presentation.
    SetPresentationHostFactory(
        [this](HostUse use) { return std::make_unique<SlidesTest::KeepOfficeHost>(use, &m_quits); });
    SlidesTest::KeepOfficeHost(HostUse::Export).connect();

    QString error;
    m_sim = SlidesTest::StartRecorder(QStringLiteral("127.0.0.50"), &error);
    QVERIFY2(m_sim, qPrintable(error));
}

void TestSlidesExport::cleanupTestCase()
{
    m_sim.reset();
    SetPresentationHostFactory({});
    SlidesTest::EndPrivateOffice();
}

void TestSlidesExport::init()
{
    m_sim->clearRecords();
    m_sim->resetReplies();
    m_messages.clear();
    m_quits = 0;
}

bool TestSlidesExport::exportAndUpload(const QString &ppt, const QString &title, const QString &teacher)
{
    TPptEdit exporter;
    exporter.SetPptFile(ppt);
    exporter.SetTitle(title);
    exporter.SetTeacher(teacher);
    const QString base = QStringLiteral("http://%1:%2").arg(m_sim->address()).arg(m_sim->httpPort());
    exporter.SetUploadURL(base + QStringLiteral("/cgi/UploadServer.isa"));
    exporter.SetUPloadURL_A_Head(base + QStringLiteral("/cgi-bin/uploadtitlefile.cgi"));
    exporter.SetUploadURL_A_Tail(base + QStringLiteral("/cgi-bin/uploadcreditfile.cgi"));
    return exporter.DoExportAndUpload();
}

QStringList TestSlidesExport::workFilesLeft() const
{
    return QDir(m_program.path()).entryList({ "*.bmp", "*.png" }, QDir::Files);
}

static QByteArray Digest(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1)
                                       : QByteArray();
}

void TestSlidesExport::presentationWithoutSlidesGainsHeadAndTail()
{
    const QString ppt = file(QStringLiteral("empty.ppt"));
    SlidesTest::MakePresentation(ppt, {});
    QVERIFY(exportAndUpload(ppt));
    QCOMPARE(SlidesTest::ReadSlides(ppt), QStringList({ "片头标题|主讲人", "结束|" }));

    const QList<SimUpload> uploads = m_sim->uploads();
    QCOMPARE(uploads.size(), 2);
    QCOMPARE(uploads.at(0).kind, QStringLiteral("title"));
    QCOMPARE(uploads.at(1).kind, QStringLiteral("credit"));
    QCOMPARE(uploads.at(0).fileName, QByteArray("Head.bmp"));
    QCOMPARE(uploads.at(1).fileName, QByteArray("Tail.bmp"));
    for (const SimUpload &upload : uploads) {
        QVERIFY2(upload.accepted, qPrintable(upload.reason));
        QCOMPARE(upload.fieldName, QByteArray("image"));
        QCOMPARE(upload.contentType, QByteArray("image/bmp"));
        const SlidesTest::BmpInfo bmp = SlidesTest::ReadBmp(upload.savedPath);
        QVERIFY2(bmp.valid, qPrintable(bmp.problem));
        QCOMPARE(bmp.width, 720);
        QCOMPARE(bmp.height, 405);
        QCOMPARE(bmp.bitsPerPixel, 24);
    }
    QVERIFY2(workFilesLeft().isEmpty(), qPrintable(workFilesLeft().join(' ')));
    QVERIFY(m_messages.isEmpty());
}

void TestSlidesExport::oneSlideGainsTheTail()
{
    const QString ppt = file(QStringLiteral("one.ppt"));
    SlidesTest::MakePresentation(ppt, { QStringLiteral("Mine") });
    QVERIFY(exportAndUpload(ppt));
    QCOMPARE(SlidesTest::ReadSlides(ppt), QStringList({ "Mine|sub 1", "结束|" }));
    QCOMPARE(m_sim->uploads().size(), 2);
}

void TestSlidesExport::twoOrMoreSlidesStayAsTheyAre()
{
    const QString ppt = file(QStringLiteral("three.ppt"));
    SlidesTest::MakePresentation(ppt, { QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C") });
    const QByteArray before = Digest(ppt);
    const QDateTime modified = QFileInfo(ppt).lastModified();
    QVERIFY(exportAndUpload(ppt));
    QCOMPARE(Digest(ppt), before);
    QCOMPARE(QFileInfo(ppt).lastModified(), modified);
    QCOMPARE(m_sim->uploads().size(), 2);
}

void TestSlidesExport::titleAndTeacherReachOnlyTheImages()
{
    const QString ppt = file(QStringLiteral("texts.ppt"));
    SlidesTest::MakePresentation(ppt, { QStringLiteral("Plain"), QStringLiteral("End") });
    const QByteArray before = Digest(ppt);
    QVERIFY(exportAndUpload(ppt));
    const QByteArray plainHead = Digest(m_sim->uploads().at(0).savedPath);
    const QByteArray plainTail = Digest(m_sim->uploads().at(1).savedPath);
    m_sim->clearRecords();
    QVERIFY(exportAndUpload(ppt, QStringLiteral("数学课"), QStringLiteral("张老师")));
    QVERIFY(Digest(m_sim->uploads().at(0).savedPath) != plainHead);
    QCOMPARE(Digest(m_sim->uploads().at(1).savedPath), plainTail);
    QCOMPARE(Digest(ppt), before);
    QCOMPARE(SlidesTest::ReadSlides(ppt), QStringList({ "Plain|sub 1", "End|sub 2" }));
}

void TestSlidesExport::refusedHeadSendsNoTail()
{
    const QString ppt = file(QStringLiteral("refused.ppt"));
    SlidesTest::MakePresentation(ppt, { QStringLiteral("H"), QStringLiteral("T") });
    m_sim->setRawReply(QStringLiteral("uploadtitlefile"), "<html>value='-1'</html>");
    QVERIFY(!exportAndUpload(ppt));
    QCOMPARE(m_sim->uploads().size(), 1);
    QCOMPARE(m_sim->uploads().at(0).kind, QStringLiteral("title"));
    QVERIFY2(workFilesLeft().isEmpty(), qPrintable(workFilesLeft().join(' ')));
    QVERIFY(m_messages.isEmpty());
}

void TestSlidesExport::refusedTailFails()
{
    const QString ppt = file(QStringLiteral("tail.ppt"));
    SlidesTest::MakePresentation(ppt, { QStringLiteral("H"), QStringLiteral("T") });
    m_sim->setRefuseUploads(true);
    m_sim->setRawReply(QStringLiteral("uploadtitlefile"), "value='0'");
    QVERIFY(!exportAndUpload(ppt));
    m_sim->setRefuseUploads(false);
    QCOMPARE(m_sim->uploads().size(), 2);
    QVERIFY(workFilesLeft().isEmpty());
}

void TestSlidesExport::replyIsAcceptedOnlyWithValueZero()
{
    QImage image(720, 405, QImage::Format_RGB888);
    image.fill(Qt::blue);
    const QString bmp = file(QStringLiteral("Head.bmp"));
    QVERIFY(image.save(bmp, "BMP"));
    const QString url = QStringLiteral("http://%1:%2/cgi-bin/uploadtitlefile.cgi")
                            .arg(m_sim->address())
                            .arg(m_sim->httpPort());
    m_sim->setRawReply(QStringLiteral("uploadtitlefile"), "<html><body>result: value='0' (ok)</body></html>");
    QVERIFY(UploadImage(url, bmp));
    m_sim->setRawReply(QStringLiteral("uploadtitlefile"), "VALUE='0'");
    QVERIFY(!UploadImage(url, bmp));
    m_sim->setRawReply(QStringLiteral("uploadtitlefile"), "value=\"0\"");
    QVERIFY(!UploadImage(url, bmp));
    m_sim->setRawReply(QStringLiteral("uploadtitlefile"), "value='0'");
    m_sim->setReplyStatus(QStringLiteral("uploadtitlefile"), 500);
    QVERIFY(!UploadImage(url, bmp));
    const int sent = m_sim->uploads().size();
    QVERIFY(!UploadImage(url, file(QStringLiteral("missing.bmp"))));
    QCOMPARE(m_sim->uploads().size(), sent);
}

void TestSlidesExport::unreachableRecorderFailsSilently()
{
    const QString ppt = file(QStringLiteral("nobody.ppt"));
    SlidesTest::MakePresentation(ppt, { QStringLiteral("H"), QStringLiteral("T") });
    TPptEdit exporter;
    exporter.SetPptFile(ppt);
    // Nothing listens there: the connection is refused at once.
    exporter.SetUPloadURL_A_Head(QStringLiteral("http://127.0.0.51:9/cgi-bin/uploadtitlefile.cgi"));
    exporter.SetUploadURL_A_Tail(QStringLiteral("http://127.0.0.51:9/cgi-bin/uploadcreditfile.cgi"));
    QVERIFY(!exporter.DoExportAndUpload());
    QVERIFY(m_messages.isEmpty());
    QVERIFY(workFilesLeft().isEmpty());
}

void TestSlidesExport::officeFailureSendsNothingAndKeepsWorkFiles()
{
    QFile stale(work(QStringLiteral("Slide1.bmp")));
    QVERIFY(stale.open(QIODevice::WriteOnly));
    stale.write("old");
    stale.close();
    QVERIFY_THROWS_EXCEPTION(PresentationError, exportAndUpload(file(QStringLiteral("missing.ppt"))));
    QVERIFY(m_sim->uploads().isEmpty());
    QVERIFY(QFile::exists(stale.fileName()));
    QFile::remove(stale.fileName());
}

void TestSlidesExport::convertTo24BitWritesAWindowsBitmap()
{
    ConvertTo24Bit(file(QStringLiteral("nothing.bmp")), file(QStringLiteral("out.bmp")));
    QVERIFY(!QFile::exists(file(QStringLiteral("out.bmp"))));

    QImage source(720, 405, QImage::Format_ARGB32);
    source.fill(QColor(10, 200, 30, 255));
    QVERIFY(source.save(file(QStringLiteral("source.png"))));
    ConvertTo24Bit(file(QStringLiteral("source.png")), file(QStringLiteral("out.bmp")));
    const SlidesTest::BmpInfo info = SlidesTest::ReadBmp(file(QStringLiteral("out.bmp")));
    QVERIFY2(info.valid, qPrintable(info.problem));
    QCOMPARE(info.bitsPerPixel, 24);
    QCOMPARE(QSize(info.width, info.height), QSize(720, 405));
    QCOMPARE(QImage(file(QStringLiteral("out.bmp"))).pixelColor(5, 5), QColor(10, 200, 30));
}

void TestSlidesExport::exportTellsTheOfficeToQuit()
{
    // The teacher's own office, on the user's default profile, holds a presentation not saved yet.
    SlidesTest::UserOffice teachers;
    QString error;
    QVERIFY2(teachers.start(&error), qPrintable(error));
    QVERIFY(teachers.hasUnsavedDocument());

    const QString ppt = file(QStringLiteral("quit.ppt"));
    SlidesTest::MakePresentation(ppt, { QStringLiteral("H"), QStringLiteral("T") });
    QVERIFY(exportAndUpload(ppt));
    QCOMPARE(m_quits, 1);
    // With the real host the client's office is gone afterwards, and only the client's.
    SetPresentationHostFactory({});
    QVERIFY(OfficeRunning());
    try {
        QVERIFY(exportAndUpload(ppt));
    } catch (const PresentationError &e) {
        QFAIL(qPrintable(e.message()));
    }
    QVERIFY(!OfficeRunning());
    QCOMPARE(OfficeTesting::OfficeProcesses(), QList<qint64>());
    QVERIFY(teachers.running());
    QVERIFY(teachers.hasUnsavedDocument());
}

void TestSlidesExport::failedExportEndsTheOffice()
{
    // With the real host: a file the office cannot read fails inside the
    // office, which must not stay behind on the client's pipe.
    SetPresentationHostFactory({});
    QFile garbage(file(QStringLiteral("garbage.ppt")));
    QVERIFY(garbage.open(QIODevice::WriteOnly));
    garbage.write(QByteArray(4096, '\x17'));
    garbage.close();
    try {
        exportAndUpload(garbage.fileName());
        QFAIL("the export of a broken file succeeded");
    } catch (const PresentationError &e) {
        QCOMPARE(e.failure(), PresentationFailure::Open);
        QCOMPARE(e.message(), QStringLiteral("文件无法打开或不是演示文稿!"));
    }
    QVERIFY(m_sim->uploads().isEmpty());
    QVERIFY(!OfficeRunning());
    QCOMPARE(OfficeTesting::OfficeProcesses(), QList<qint64>());
}

QTEST_GUILESS_MAIN(TestSlidesExport)
#include "tst_slides_export.moc"
