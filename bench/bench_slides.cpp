// Head and tail slides: the office's cold start, and one "保存" (export of
// both slides and both uploads, then the activation) with the office running.
//   bench_slides [RUNS]

#include "HeadTailSlides.h"
#include "HttpIntf.h"
#include "OfficeProfile.h"
#include "PPT.h"
#include "PresentationHost.h"
#include "ProgramFolder.h"
#include "RecorderSim.h"
#include "UnoPresentationHost.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

using namespace Qurel;

namespace {

qint64 Median(QList<qint64> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

void Print(const char *what, const QList<qint64> &ms)
{
    QStringList all;
    for (qint64 v : ms)
        all << QString::number(v);
    std::printf("%-44s median %5lld ms   (%s)\n", what, static_cast<long long>(Median(ms)),
        qPrintable(all.join(' ')));
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
    QTemporaryDir dir;
    SetProgramFolderForTesting(dir.path() + QLatin1Char('/'));
    OfficeProfile profile;
    profile.pipeName = QStringLiteral("qurel_bench_%1").arg(QCoreApplication::applicationPid());
    profile.userInstallation = QStringLiteral(QUREL_BENCH_OFFICE_PROFILE);
    SetOfficeProfile(profile);

    RecorderSimOptions options;
    options.address = QHostAddress(QStringLiteral("127.0.0.53"));
    options.stream = false;
    RecorderSim sim(options);
    QString error;
    if (!sim.start(&error)) {
        std::fprintf(stderr, "bench_slides: %s\n", qPrintable(error));
        return 1;
    }
    const QString base = QStringLiteral("http://%1:%2").arg(sim.address()).arg(sim.httpPort());
    const QString ppt = dir.filePath(QStringLiteral("temp.ppt"));
    QFile::copy(QStringLiteral(QUREL_PROGRAM_DIR "/temp.ppt"), ppt);

    QList<qint64> coldStart, save, activate, quit, editorSave;
    try {
        for (int i = 0; i < runs; ++i) {
            QElapsedTimer clock;
            clock.start();
            UnoPresentationHost(HostUse::Export).connect();
            coldStart << clock.elapsed();

            // The office is running: the editor's "保存" steps 5 and 6.
            clock.restart();
            TPptEdit exporter;
            exporter.SetPptFile(ppt);
            exporter.SetUPloadURL_A_Head(base + QStringLiteral("/cgi-bin/uploadtitlefile.cgi"));
            exporter.SetUploadURL_A_Tail(base + QStringLiteral("/cgi-bin/uploadcreditfile.cgi"));
            const bool sent = exporter.DoExportAndUpload();
            save << clock.elapsed();
            clock.restart();
            const bool active = SaveCT(sim.address(), sim.httpPort(), options.username, options.password);
            activate << clock.elapsed();
            if (!sent || !active) {
                std::fprintf(
                    stderr, "bench_slides: run %d failed (sent %d, activated %d)\n", i, sent, active);
                return 1;
            }
            clock.restart();
            UnoPresentationHost(HostUse::Export).quit(); // already gone: returns at once
            quit << clock.elapsed();

            // The whole "保存" of the editor: the template is saved and the
            // office told to quit, then the export starts it again.
            UnoPresentationHost editor(HostUse::Export);
            auto presentation = editor.open(ppt, OpenMode::Hidden);
            clock.restart();
            presentation->save();
            presentation.reset();
            editor.disconnect();
            editor.quit();
            TPptEdit again;
            again.SetPptFile(ppt);
            again.SetUPloadURL_A_Head(base + QStringLiteral("/cgi-bin/uploadtitlefile.cgi"));
            again.SetUploadURL_A_Tail(base + QStringLiteral("/cgi-bin/uploadcreditfile.cgi"));
            const bool resent = again.DoExportAndUpload()
                && SaveCT(sim.address(), sim.httpPort(), options.username, options.password);
            editorSave << clock.elapsed();
            if (!resent) {
                std::fprintf(stderr, "bench_slides: run %d failed in the editor's save\n", i);
                return 1;
            }
        }
    } catch (const PresentationError &e) {
        std::fprintf(stderr, "bench_slides: %s\n", qPrintable(e.message()));
        return 1;
    }
    std::printf("head/tail slides, %d runs, LibreOffice headless, private profile\n", runs);
    Print("office cold start (start + connect)", coldStart);
    Print("export + both uploads, office running", save);
    Print("activation (SaveCT)", activate);
    Print("quit with no office running", quit);
    Print("editor's whole save (quit, restart, export)", editorSave);
    std::printf("uploads received by the recorder: %lld\n", static_cast<long long>(sim.uploads().size()));
    return 0;
}
