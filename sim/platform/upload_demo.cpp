// qurel-upload-demo: the upload step of the demo. Opens the client's upload
// window for the newest recordings of a recordings folder against a resource
// platform (the simulated one), presses the login page's button the way a
// user would, and reports what the main window would say.
#include "Configs.h"
#include "MessageBoxes.h"
#include "RecordingsStore.h"
#include "UploadForm.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDateTime>
#include <QFileInfo>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <cstdio>

namespace {
void print(const QString &line)
{
    std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

// The newest recordings with what the thumbnail frames would give them: a
// thumbnail (the fallback picture when none was made) and a GUID.
TFileInfoList newestRecordings(const QString &folder, int count)
{
    TFileInfoList all = Qurel::FindFiles(folder, QStringLiteral(".mp4"));
    Qurel::SortFilesByDate(all);
    TFileInfoList chosen;
    for (TFileInfo info : all.mid(0, count)) {
        if (!QFileInfo::exists(info.FPicName))
            Qurel::CopyNoPicture(info.FPicName);
        if (!QFileInfo::exists(info.FTxtName))
            Qurel::SaveInfoFile(
                info.FTxtName, QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
        info.FGuid = Qurel::ReadInfoFileGuid(info.FTxtName);
        chosen << info;
    }
    return chosen;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Uploads the newest recordings through the upload window."));
    parser.addHelpOption();
    const QCommandLineOption platformOpt(QStringLiteral("server"),
        QStringLiteral("The platform's address, HOST:PORT."), QStringLiteral("host:port"));
    const QCommandLineOption folderOpt(
        QStringLiteral("recordings"), QStringLiteral("Recordings folder."), QStringLiteral("dir"));
    const QCommandLineOption countOpt(QStringLiteral("count"),
        QStringLiteral("How many recordings (default 1)."), QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption shotOpt(QStringLiteral("screenshot"),
        QStringLiteral("Save the window with the login page to this PNG."), QStringLiteral("file"));
    parser.addOptions({ platformOpt, folderOpt, countOpt, shotOpt });
    parser.process(app);

    const QStringList platform = parser.value(platformOpt).split(QLatin1Char(':'));
    if (platform.size() != 2 || !parser.isSet(folderOpt)) {
        print(QStringLiteral("qurel-upload-demo: --server HOST:PORT and --recordings DIR are needed"));
        return 2;
    }
    SDKConfig.UpLoadAddr = platform[0];
    SDKConfig.UpLoadPort = platform[1].toInt();

    TfrmUpload window;
    window.FileLst = newestRecordings(parser.value(folderOpt), parser.value(countOpt).toInt());
    if (window.FileLst.isEmpty()) {
        print(QStringLiteral("qurel-upload-demo: no recording in ") + parser.value(folderOpt));
        return 1;
    }
    for (const TFileInfo &info : window.FileLst)
        print(QStringLiteral("recording %1 guid %2").arg(info.FVideoName, info.FGuid));
    Qurel::SetMsgHandler([](const Qurel::MsgRequest &request) {
        print(QStringLiteral("message: ") + request.text);
        return true;
    });

    // Once the login page is there, the "user" logs in.
    bool loggedIn = false;
    const auto logIn = [&](bool ok) {
        QWebEngineView *view = window.browser();
        if (loggedIn || !ok)
            return;
        loggedIn = true;
        print(QStringLiteral("login page ") + view->url().toString());
        if (parser.isSet(shotOpt) && window.grab().save(parser.value(shotOpt)))
            print(QStringLiteral("screenshot: ") + parser.value(shotOpt));
        view->page()->runJavaScript(QStringLiteral("document.getElementById('btnLogin').click();"));
    };
    // The browser appears with the window's first showing.
    QTimer::singleShot(0, &window, [&] {
        QObject::connect(window.browser(), &QWebEngineView::loadFinished, &window, [&](bool ok) {
            QTimer::singleShot(300, &window, [&, ok] { logIn(ok); }); // let the page paint first
        });
    });
    QTimer::singleShot(120000, &window, &QDialog::reject);

    const int result = window.exec();
    if (result == QDialog::Accepted) {
        print(QStringLiteral("上传成功！"));
        return 0;
    }
    print(window.ErrorString.isEmpty() ? QStringLiteral("closed without upload") : window.ErrorString);
    return 1;
}
