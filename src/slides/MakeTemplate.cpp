// Makes the default head and tail template: a PowerPoint 97 presentation with
// a head slide ("片头标题", "主讲人") and a tail slide ("结束"), written by the
// office through the same host the client uses.
//   qurel-make-template OUTPUT.ppt OFFICE_PROFILE_FOLDER

#include "HeadTailSlides.h"
#include "OfficeProfile.h"
#include "PresentationHost.h"
#include "UnoPresentationHost.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: qurel-make-template OUTPUT.ppt OFFICE_PROFILE_FOLDER\n");
        return 2;
    }
    const QString output = args.at(1);
    const QString work = output + QStringLiteral(".new.ppt");

    Qurel::OfficeProfile profile;
    profile.pipeName = QStringLiteral("qurel_template_%1").arg(QCoreApplication::applicationPid());
    profile.userInstallation = QDir(args.at(2)).absolutePath();
    Qurel::SetOfficeProfile(profile);

    // An empty file opens as a presentation without slides.
    QFile::remove(work);
    if (!QFile(work).open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "qurel-make-template: cannot write %s\n", qPrintable(work));
        return 1;
    }
    Qurel::UnoPresentationHost host(Qurel::HostUse::Export);
    try {
        auto presentation = host.open(work, Qurel::OpenMode::Hidden);
        Qurel::AddMissingHeadTailSlides(*presentation);
        presentation->save();
        presentation.reset();
        host.quit();
    } catch (const Qurel::PresentationError &e) {
        std::fprintf(stderr, "qurel-make-template: %s\n", qPrintable(e.detail()));
        host.quit();
        QFile::remove(work);
        return 1;
    }
    QFile::remove(output);
    if (!QFile::rename(work, output)) {
        std::fprintf(stderr, "qurel-make-template: cannot write %s\n", qPrintable(output));
        return 1;
    }
    return 0;
}
