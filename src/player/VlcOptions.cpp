#include "VlcOptions.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace Qurel {

namespace {
    QString onOff(bool on, const char *name)
    {
        return QStringLiteral("--") + (on ? QString() : QStringLiteral("no-")) + QLatin1String(name);
    }

    QString deinterlaceModeName(TDeinterlaceMode mode)
    {
        switch (mode) {
        case TDeinterlaceMode::dmDISCARD:
            return QStringLiteral("discard");
        case TDeinterlaceMode::dmBLEND:
            return QStringLiteral("blend");
        case TDeinterlaceMode::dmMEAN:
            return QStringLiteral("mean");
        case TDeinterlaceMode::dmBOB:
            return QStringLiteral("bob");
        case TDeinterlaceMode::dmLINEAR:
            return QStringLiteral("linear");
        case TDeinterlaceMode::dmX:
            return QStringLiteral("x");
        }
        return QStringLiteral("discard");
    }
} // namespace

QStringList VlcInstanceOptions(const TVlcSettings &s, const TVlcOutputs &outputs)
{
    QStringList options { onOff(s.SpuShow, "spu"), onOff(s.OsdShow, "osd"),
        onOff(s.TitleShow, "video-title-show"), onOff(s.VideoOnTop, "video-on-top"),
        onOff(s.UseOverlay, "overlay"), onOff(s.SnapshotPrv, "snapshot-preview") };
    if (outputs.DummyVideo)
        options << QStringLiteral("--vout=dummy");
    if (outputs.DummyAudio)
        options << QStringLiteral("--aout=dummy");
    return options;
}

QStringList VlcMediaOptions(const TVlcSettings &s, bool rtspOverTcp, bool localFile)
{
    QStringList options { QStringLiteral("http-caching=200"),
        QStringLiteral("deinterlace=%1").arg(s.DeinterlaceFilter == TDeinterlaceFilter::deON),
        QStringLiteral("deinterlace-mode=") + deinterlaceModeName(s.DeinterlaceMode) };
    if (rtspOverTcp)
        options << QStringLiteral("rtsp-tcp");
    // libvlc buffers 300 ms of a file before it starts; a local disk needs far less, and the
    // picture then follows the click at once.
    if (localFile)
        options << QStringLiteral("file-caching=%1").arg(kLocalFileCachingMs);
    return options;
}

bool HasSoundOutput()
{
    const QDir snd(QStringLiteral("/dev/snd"));
    if (!snd.entryList({ QStringLiteral("pcmC*p") }, QDir::System).isEmpty())
        return true;
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return QFileInfo::exists(runtime + QStringLiteral("/pulse/native"))
        || QFileInfo::exists(runtime + QStringLiteral("/pipewire-0"));
}

} // namespace Qurel
