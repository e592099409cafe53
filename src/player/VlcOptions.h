#pragma once
// What the player hands to libvlc: instance options, media options, and the
// "hh:mm:ss" style time texts shown beside the seek bar.

#include <QString>
#include <QStringList>

namespace Qurel {

enum class TDeinterlaceFilter { deOFF, deON };
enum class TDeinterlaceMode { dmDISCARD, dmBLEND, dmMEAN, dmBOB, dmLINEAR, dmX };

// The settings that shape the libvlc instance and each media; the defaults
// are the values the client uses.
struct TVlcSettings
{
    bool SpuShow = true;
    bool OsdShow = true;
    bool TitleShow = false;
    bool VideoOnTop = false;
    bool UseOverlay = false;
    bool SnapshotPrv = false;
    TDeinterlaceFilter DeinterlaceFilter = TDeinterlaceFilter::deOFF;
    TDeinterlaceMode DeinterlaceMode = TDeinterlaceMode::dmDISCARD;
    bool UseEvents = true;
};

// Where the video and the sound can go on this machine.
struct TVlcOutputs
{
    bool DummyVideo = false; // no native window to draw into (offscreen platform)
    bool DummyAudio = false; // no sound device
};

// Instance options: the six settings in their fixed order, then the outputs.
QStringList VlcInstanceOptions(const TVlcSettings &settings, const TVlcOutputs &outputs);

// Media options, in the order they are attached; a local file gets a short read-ahead.
inline constexpr int kLocalFileCachingMs = 100;
QStringList VlcMediaOptions(const TVlcSettings &settings, bool rtspOverTcp, bool localFile = false);

// True when a sound server or an ALSA playback device is reachable.
bool HasSoundOutput();

} // namespace Qurel
