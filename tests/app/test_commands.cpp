// The main window's delete, save-as and settings commands on a real recordings
// folder, with the message boxes, file dialogs and settings dialog answered.

#include "Configs.h"
#include "FormParts.h"
#include "CopyProgress.h"
#include "FileDialogs.h"
#include "ControlChannel.h"
#include "MainForm.h"
#include "MessageBoxes.h"
#include "PictureFrame.h"
#include "ProgramFolder.h"
#include "RecordingFixture.h"
#include "RecordingsStore.h"
#include "SettingForm.h"

#include <QCheckBox>
#include <QImage>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <memory>

using namespace Qurel;

namespace {
// This test's own loopback addresses: a recorder listens on the first.
const QString kRecorderAddress = QStringLiteral("127.0.0.70");
const QString kSilentAddress = QStringLiteral("127.0.0.71");

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Runs `act` on the settings dialog once it is shown modally.
void whenSettingsShown(std::function<void(TfrmSetting &)> act)
{
    auto *poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        if (auto *dialog = qobject_cast<TfrmSetting *>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            act(*dialog);
        }
    });
    poll->start();
}
} // namespace

class TestCommands : public QObject
{
    Q_OBJECT

    QTemporaryDir program;
    std::unique_ptr<QTemporaryDir> recordings;
    QStringList texts;
    bool answer = true;
    QList<FileDialogRequest> fileDialogs;
    QString fileAnswer;

    QString folder() const { return recordings->path() + QLatin1Char('/'); }

    // One recording with its thumbnail and information file; later ones are newer.
    void addRecording(const QString &base, const QString &in = QString())
    {
        QurelTest::TestRecording rec;
        rec.base = base;
        rec.video = "video of " + base.toUtf8();
        QVERIFY(!QurelTest::MakeRecording(in.isEmpty() ? folder() : in, rec).isEmpty());
        QTest::qWait(15); // distinct creation times keep the list order certain
    }

    std::unique_ptr<TfrmMain> create(const QString &address = kSilentAddress)
    {
        SDKConfig = TSDKConfig();
        SDKConfig.AutoRec = false;
        SDKConfig.Address = address;
        SDKConfig.SavePath = recordings->path();
        SDKConfig.Password = QStringLiteral("pw");
        auto form = std::make_unique<TfrmMain>();
        frmMain = form.get();
        return form;
    }

    static void tick(TfrmMain &form, const QList<int> &numbers)
    {
        for (int n = 1; n <= 6; ++n)
            form.GetPicFrame(n)->chkSel->setChecked(numbers.contains(n));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(program.isValid());
        SetProgramFolderForTesting(program.path());
        QFile::copy(QStringLiteral(QUREL_PROGRAM_DIR "/WithoutPic.jpg"), program.filePath("WithoutPic.jpg"));
        SetMsgHandler([this](const MsgRequest &request) {
            texts << request.text;
            return answer;
        });
        SetFileDialogHandler([this](const FileDialogRequest &request) {
            fileDialogs << request;
            return fileAnswer;
        });
    }

    void init()
    {
        recordings = std::make_unique<QTemporaryDir>();
        texts.clear();
        answer = true;
        fileDialogs.clear();
        fileAnswer.clear();
    }

    void deleteGoesFromTheHighestNumberDown()
    {
        for (const char *base : { "e", "d", "c", "b", "a" })
            addRecording(QString::fromLatin1(base));
        auto form = create();
        QCOMPARE(form->CurVideoNum(), 5);
        QCOMPARE(QFileInfo(form->Segments().at(1).videoPath).fileName(), QStringLiteral("b.mp4"));
        QCOMPARE(QFileInfo(form->Segments().at(4).videoPath).fileName(), QStringLiteral("e.mp4"));
        tick(*form, { 2, 5 });
        // Information files already gone: video and thumbnail go, then the message.
        QVERIFY(QFile::remove(folder() + "Image/b.axt"));
        QVERIFY(QFile::remove(folder() + "Image/e.axt"));

        form->btnDelClick();
        QCOMPARE(texts,
            (QStringList { "确定要删除勾选中的视频吗？", "删除编号为'5'的axt文件失败！",
                "删除编号为'2'的axt文件失败！" }));
        for (const char *gone : { "b.mp4", "e.mp4", "Image/b.jpg", "Image/e.jpg" })
            QVERIFY2(!QFile::exists(folder() + gone), gone);
        for (const char *kept : { "a.mp4", "c.mp4", "d.mp4", "Image/c.jpg", "Image/c.axt" })
            QVERIFY2(QFile::exists(folder() + kept), kept);
        QCOMPARE(form->CurVideoNum(), 3);
        QVERIFY(!QurelTest::Part<QWidget>(*form, "pnlVideoPic")->isHidden());
    }

    void deleteQuestionAnsweredAfterAReloadDeletesTheTicked()
    {
        for (const char *base : { "c", "b", "a" })
            addRecording(QString::fromLatin1(base));
        auto form = create();
        tick(*form, { 1, 3 });
        // While the question is open a lesson finishes: the list reloads and every frame shifts.
        SetMsgHandler([&](const MsgRequest &request) {
            texts << request.text;
            addRecording("new");
            form->LoadPicList();
            return true;
        });
        form->btnDelClick();
        SetMsgHandler([this](const MsgRequest &request) {
            texts << request.text;
            return answer;
        });
        QCOMPARE(texts, QStringList { "确定要删除勾选中的视频吗？" });
        for (const char *gone : { "a.mp4", "c.mp4", "Image/a.jpg", "Image/c.axt" })
            QVERIFY2(!QFile::exists(folder() + gone), gone);
        for (const char *kept : { "new.mp4", "b.mp4", "Image/new.axt", "Image/b.jpg" })
            QVERIFY2(QFile::exists(folder() + kept), kept);
        QCOMPARE(form->CurVideoNum(), 2);
    }

    void deleteAsksAndNeedsATick()
    {
        addRecording("a");
        auto form = create();
        tick(*form, {});
        form->btnDelClick();
        QCOMPARE(texts, QStringList { "没有勾选任何视频！" });

        texts.clear();
        tick(*form, { 1 });
        answer = false;
        form->btnDelClick();
        QCOMPARE(texts, QStringList { "确定要删除勾选中的视频吗？" });
        QVERIFY(QFile::exists(folder() + "a.mp4"));
    }

    void emptiedFrameIsNoRecordingToDelete()
    {
        addRecording("b");
        addRecording("a");
        auto form = create();
        tick(*form, { 2 });
        // The recording of frame 2 vanishes; the reload empties the frame, its hidden tick stays.
        for (const char *file : { "b.mp4", "Image/b.jpg", "Image/b.axt" })
            QFile::remove(folder() + file);
        form->LoadPicList();
        tick(*form, {});
        form->GetPicFrame(2)->chkSel->setChecked(true);
        QVERIFY(!form->GetPicFrame(2)->HasRecording());
        QVERIFY(form->GetCheckedNums().isEmpty());
        QVERIFY(form->CheckedRecordingFrames().isEmpty());
        form->btnDelClick();
        QCOMPARE(texts, QStringList { "没有勾选任何视频！" });
        QVERIFY(QFile::exists(folder() + "a.mp4"));
    }

    void deletingEverythingEmptiesTheList()
    {
        for (const char *base : { "c", "b", "a" })
            addRecording(QString::fromLatin1(base));
        auto form = create();
        tick(*form, { 1, 2, 3 });
        form->btnDelClick();
        QCOMPARE(texts, QStringList { "确定要删除勾选中的视频吗？" });
        QCOMPARE(form->CurVideoNum(), 0);
        for (int n = 1; n <= 6; ++n) {
            QVERIFY(!form->GetPicFrame(n)->HasRecording());
            QCOMPARE(form->GetPicFrame(n)->Number(), 0);
        }
        QVERIFY(QurelTest::Part<QWidget>(*form, "pnlVideoPic")->isHidden());
        QCOMPARE(QDir(folder()).entryList(QDir::Files), QStringList());
        QCOMPARE(QDir(folder() + "Image").entryList(QDir::Files), QStringList());
    }

    void saveAsOntoTheRecordingDoesNothing()
    {
        addRecording("lesson");
        auto form = create();
        const QByteArray before = readAll(folder() + "lesson.mp4");
        fileAnswer = folder() + "lesson.mp4";
        form->btnSaveAsClick();
        QCOMPARE(fileDialogs.size(), 1);
        QCOMPARE(fileDialogs[0].kind, FileDialogKind::SaveFile);
        QCOMPARE(fileDialogs[0].presetName, QStringLiteral("lesson.mp4"));
        QCOMPARE(fileDialogs[0].filter, QStringLiteral(".mp4 (*.mp4)"));
        QCOMPARE(fileDialogs[0].defaultSuffix, QStringLiteral("mp4"));
        QVERIFY(texts.isEmpty());
        QCOMPARE(readAll(folder() + "lesson.mp4"), before);
        QCOMPARE(QDir(folder()).entryList(QDir::Files), QStringList { "lesson.mp4" });

        // The same file through another spelling is the recording too.
        fileAnswer = folder() + "Image/../lesson.mp4";
        form->btnSaveAsClick();
        QVERIFY(texts.isEmpty());
        QCOMPARE(QDir(folder()).entryList(QDir::Files), QStringList { "lesson.mp4" });
        QCOMPARE(readAll(folder() + "lesson.mp4"), before);
    }

    void saveAsUnderAnotherExtension()
    {
        addRecording("lesson");
        auto form = create();
        QTemporaryDir out;
        QFile stale(out.filePath("x.mp4"));
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.write("an older file");
        stale.close();

        fileAnswer = out.filePath("x.avi");
        form->btnSaveAsClick();
        QVERIFY(texts.isEmpty());
        QCOMPARE(QDir(out.path()).entryList(QDir::Files), (QStringList { "x.avi", "x.jpg", "x.mp4" }));
        QCOMPARE(readAll(out.filePath("x.avi")), readAll(folder() + "lesson.mp4"));
        QCOMPARE(readAll(out.filePath("x.mp4")), readAll(folder() + "lesson.mp4"));
        QCOMPARE(readAll(out.filePath("x.jpg")), readAll(folder() + "Image/lesson.jpg"));

        // Cancelled save dialog: nothing more happens.
        fileAnswer.clear();
        form->btnSaveAsClick();
        QVERIFY(texts.isEmpty());
    }

    void saveAsFailureIsReported()
    {
        addRecording("lesson");
        auto form = create();
        QTemporaryDir out;
        fileAnswer = out.filePath("gone/x.mp4");
        form->btnSaveAsClick();
        QCOMPARE(texts.size(), 1);
        QVERIFY(texts[0].startsWith(QStringLiteral("另存为失败")));
        QVERIFY(texts[0].contains(out.filePath("gone/x.mp4")));
        QVERIFY(!QFileInfo::exists(out.filePath("gone")));
    }

    void progressDialogCancelsTheCopy()
    {
        QTemporaryDir out;
        QFile big(out.filePath("big.mp4"));
        QVERIFY(big.open(QIODevice::WriteOnly));
        big.write(QByteArray(16 * FileCopier::kChunkSize, 'v'));
        big.close();
        QFile kept(out.filePath("x.mp4"));
        QVERIFY(kept.open(QIODevice::WriteOnly));
        kept.write("earlier copy");
        kept.close();

        QString label;
        QTimer::singleShot(0, [&label] {
            if (auto *dialog = qobject_cast<QProgressDialog *>(QApplication::activeModalWidget())) {
                label = dialog->labelText();
                dialog->cancel();
            }
        });
        const CopyResult result = CopyWithProgress(nullptr, { { big.fileName(), out.filePath("x.mp4") } }, 0);
        QVERIFY(result.cancelled);
        QCOMPARE(label, QStringLiteral("正在另存为，请稍候……"));
        QCOMPARE(readAll(out.filePath("x.mp4")), QByteArray("earlier copy"));
        QCOMPARE(QDir(out.path()).entryList(QDir::Files), (QStringList { "big.mp4", "x.mp4" }));
    }

    void settingsUnchangedSavesWithoutReconnectOrReload()
    {
        addRecording("a");
        QTcpServer recorder;
        QVERIFY(recorder.listen(QHostAddress(kRecorderAddress), kControlPort));
        auto form = create(kRecorderAddress);
        SDKConfig.TitleTime = 9;
        addRecording("b"); // only a reload would show it
        whenSettingsShown([](TfrmSetting &dialog) {
            QVERIFY(dialog.btnSave->isEnabled());
            dialog.edtUserName->setText(QStringLiteral(" teacher "));
            dialog.btnSave->click();
        });
        form->btnSettingClick();
        QVERIFY(texts.isEmpty());
        QCOMPARE(SDKConfig.Username, QStringLiteral("teacher"));
        TSDKConfig stored;
        stored.Load();
        QCOMPARE(stored.Username, QStringLiteral("teacher"));
        QCOMPARE(stored.TitleTime, 9);
        QCOMPARE(stored.Address, kRecorderAddress);
        QCOMPARE(stored.SavePath, recordings->path());
        QCOMPARE(form->CurVideoNum(), 1);
        QVERIFY(!recorder.waitForNewConnection(300));
    }

    void changedAddressReconnectsInManualMode()
    {
        addRecording("a");
        QTemporaryDir other;
        QTcpServer recorder;
        QVERIFY(recorder.listen(QHostAddress(kRecorderAddress), kControlPort));
        auto form = create();
        QVERIFY(!SDKConfig.AutoRec);
        const QString otherPath = other.path();
        whenSettingsShown([otherPath](TfrmSetting &dialog) {
            dialog.edtIPAddr->setText(kRecorderAddress);
            dialog.edtPath->setText(otherPath);
            dialog.btnSave->click();
        });
        form->btnSettingClick();
        QVERIFY(texts.isEmpty());
        QCOMPARE(SDKConfig.Address, kRecorderAddress);
        QTRY_VERIFY_WITH_TIMEOUT(recorder.hasPendingConnections(), 5000);
        QScopedPointer<QTcpSocket> channel(recorder.nextPendingConnection());
        QTRY_VERIFY_WITH_TIMEOUT(channel->bytesAvailable() > 0, 5000);
        QCOMPARE(channel->readAll(), QByteArray("mark=start_server\r\n"));
        // The new folder is empty: the list was reloaded from it.
        QCOMPARE(form->CurVideoNum(), 0);
        QVERIFY(QFileInfo(otherPath + "/Image").isDir());
    }
};

QTEST_MAIN(TestCommands)
#include "test_commands.moc"
