// Segment list figures: the time from a thumbnail click (and play) to the first time
// event of the played file, and LoadPicList over a folder of 5,000 recordings.
// Runs offscreen by default (dummy video output); under xvfb-run with QT_QPA_PLATFORM=xcb
// the video is drawn into the window as in the client.
#include "Configs.h"
#include "FormParts.h"
#include "FullPlayForm.h"
#include "ClickableImage.h"
#include "MainForm.h"
#include "MessageBoxes.h"
#include "PictureFrame.h"
#include "PrivateFolders.h"
#include "ProgramFolder.h"
#include "RecordingsStore.h"
#include "TestMedia.h"
#include "VlcPlayer.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

struct Figures
{
    QList<double> ms;
    void print(const char *what) const
    {
        QList<double> sorted = ms;
        std::sort(sorted.begin(), sorted.end());
        std::printf("%-46s median %7.1f ms   min %7.1f ms   max %7.1f ms   (%lld runs)\n", what,
            sorted.at(sorted.size() / 2), sorted.first(), sorted.last(), qlonglong(sorted.size()));
    }
};

double elapsedMs(const QElapsedTimer &clock)
{
    return clock.nsecsElapsed() / 1e6;
}

// 5,000 recordings, newest last, the six newest with real 720x405 thumbnails.
bool makeBigStore(const QString &store, int count)
{
    if (!QDir().mkpath(store + "Image"))
        return false;
    const QDateTime base = QDateTime::currentDateTime().addDays(-30);
    for (int i = 0; i < count; ++i) {
        const QString name = QStringLiteral("lesson%1_20260101080000").arg(i, 5, 10, QChar('0'));
        QFile file(store + name + ".mp4");
        if (!file.open(QIODevice::WriteOnly))
            return false;
        file.write("mp4");
        file.setFileTime(base.addSecs(i * 60), QFileDevice::FileModificationTime);
        if (i >= count - 6
            && !QurelTest::MakeTestPicture(
                store + "Image/" + name + ".jpg", QColor(40 * (count - i), 90, 160), QSize(720, 405)))
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The window's keeper reads and writes its journal there, not in the user's data folder.
    QTemporaryDir home;
    QurelTest::UsePrivateFolders(home.path());
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString program = dir.filePath("program/");
    QDir().mkpath(program);
    QurelTest::MakeTestPicture(program + "WithoutPic.jpg", Qt::gray, QSize(720, 405));
    Qurel::SetProgramFolderForTesting(program);
    Qurel::SetMsgHandler([](const Qurel::MsgRequest &) { return true; });
    SDKConfig.AutoRec = false;

    // Play: one 20 s 1280x720 recording.
    const QString playStore = dir.filePath("play/");
    QDir().mkpath(playStore + "Image");
    if (!QurelTest::MakeTestVideo(playStore + "lesson_20260101080000.mp4", 20, "1280x720")) {
        std::fprintf(stderr, "ffmpeg could not make the test recording\n");
        return 1;
    }
    SDKConfig.SavePath = playStore;
    TfrmFullPlay full;
    frmFullPlay = &full;
    auto form = std::make_unique<TfrmMain>();
    form->show();
    if (!QTest::qWaitForWindowExposed(form.get()))
        std::fprintf(stderr, "the main window was not shown\n");
    std::printf("platform %s, libvlc draws into a window: %s\n", qPrintable(QGuiApplication::platformName()),
        QurelTest::Part<TVlcPlayer>(*form, "plyMain")->DrawsIntoWindow() ? "yes" : "no (dummy output)");

    Figures click;
    Figures toFirstTime;
    for (int run = 0; run < 8; ++run) {
        bool armed = false;
        bool gotTime = false;
        TVlcPlayer *player = QurelTest::Part<TVlcPlayer>(*form, "plyMain");
        // Only a time event of the new file counts, not one still queued from the last run.
        auto connection = QObject::connect(player, &TVlcPlayer::OnMediaPlayerTimeChanged,
            [&] { gotTime = gotTime || (armed && player->GetState() == vpPlaying); });
        QCoreApplication::processEvents();
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(QurelTest::Part<TPicFrame>(*form, "fraPicture1")->imgMain, Qt::LeftButton, {}, QPoint(10, 10));
        click.ms << elapsedMs(clock);
        form->PlayCurrent(0);
        armed = true;
        while (!gotTime && clock.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
        toFirstTime.ms << elapsedMs(clock);
        QObject::disconnect(connection);
        QTest::qWait(300);
    }
    click.print("thumbnail click (stop, preview, ticks)");
    toFirstTime.print("thumbnail click + play -> first time event");
    QurelTest::Part<TVlcPlayer>(*form, "plyMain")->Stop();
    form.reset();

    // LoadPicList over 5,000 recordings.
    const QString bigStore = dir.filePath("big/");
    if (!makeBigStore(bigStore, 5000)) {
        std::fprintf(stderr, "could not make the 5,000 recordings\n");
        return 1;
    }
    SDKConfig.SavePath = bigStore;
    form = std::make_unique<TfrmMain>(); // its start-up load writes the six information files
    Figures load;
    for (int run = 0; run < 10; ++run) {
        QElapsedTimer clock;
        clock.start();
        form->LoadPicList();
        load.ms << elapsedMs(clock);
    }
    Figures listing;
    Figures frames;
    for (int run = 0; run < 10; ++run) {
        QElapsedTimer clock;
        clock.start();
        const Qurel::RecordingList found = Qurel::ListRecordings(bigStore);
        listing.ms << elapsedMs(clock);
        clock.restart();
        for (int n = 1; n <= 6; ++n)
            form->GetPicFrame(n)->LoadFraPic(n, found.at(n - 1).thumbnailPath, n == 1);
        frames.ms << elapsedMs(clock);
    }
    listing.print("  of which listing and sorting");
    frames.print("  of which filling the six frames");
    std::printf("recordings found: %d, frame 1 shows %s\n", form->CurVideoNum(),
        qPrintable(QFileInfo(form->Segments().at(0).videoPath).fileName()));
    load.print("LoadPicList with 5,000 recordings");
    form.reset();
    frmFullPlay = nullptr;
    return 0;
}
