#pragma once
// TVlcPlayer: plays local recordings through libvlc inside a black panel.
// libvlc draws into a native child window; a transparent layer above it takes
// the mouse. libvlc's events reach the UI thread as queued calls, in order.
// Without a usable libvlc every operation does nothing and reads as 0/false.

#include "VlcOptions.h"

#include <QMutex>
#include <QWidget>

#include <memory>

struct libvlc_instance_t;
struct libvlc_media_player_t;
struct libvlc_event_t;

enum TVlcPlayerState {
    vpNothingSpecial = 0,
    vpOpening = 1,
    vpBuffering = 2,
    vpPlaying = 3,
    vpPaused = 4,
    vpStopped = 5,
    vpEnded = 6,
    vpError = 7
};

namespace Qurel {
class VlcInputLayer;

struct VlcInstanceDeleter
{
    void operator()(libvlc_instance_t *instance) const;
};
struct VlcPlayerDeleter
{
    void operator()(libvlc_media_player_t *player) const;
};

// Extra instance options appended after the player's own (tests use an
// unknown option to make libvlc refuse to start).
void SetVlcExtraOptionsForTesting(const QStringList &options);
} // namespace Qurel

class TVlcPlayer : public QWidget
{
    Q_OBJECT
public:
    explicit TVlcPlayer(QWidget *parent = nullptr);
    ~TVlcPlayer() override;

    Qurel::TVlcSettings &Settings() { return FSettings; }

    void Play(const QString &path, int timeoutMs = 10000, bool rtspOverTcp = false);
    void Pause();
    void Resume();
    void Stop();

    TVlcPlayerState GetState() const;
    bool CanSeek() const;
    qint64 GetVideoPosInMs() const;
    void SetVideoPosInMs(qint64 ms);
    qint64 GetVideoLenInMs() const;
    QString GetVideoPosStr(const QString &format) const;
    QString GetVideoLenStr(const QString &format) const;

    // The last time and length that libvlc's events reported.
    qint64 LastEventTime() const;
    qint64 LastEventLength() const;

    // True once libvlc was started successfully.
    bool HasLibVlc() const { return FInstance != nullptr; }
    // Whether the video is drawn into VideoWindow() (false: dummy output).
    bool DrawsIntoWindow() const;
    QWidget *VideoWindow() const { return FVideoWindow; }
    QWidget *InputLayer() const;

signals:
    void OnMediaPlayerTimeChanged(qint64 newTime);
    void OnMediaPlayerLengthChanged(qint64 newLength);
    // Every libvlc media-player event, type as libvlc numbers it.
    void OnMediaPlayerEvent(int type, qint64 value);
    void OnClick();
    void OnDblClick();
    void OnMouseDown(Qt::MouseButton button, QPoint pos);
    void OnMouseUp(Qt::MouseButton button, QPoint pos);
    void OnMouseMove(QPoint pos);
    void OnMouseEnter();
    void OnMouseLeave();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    bool EnsureLibVlc();
    libvlc_media_player_t *FetchPlayer();
    void Subscribe(bool on);
    void WaitUntilStopped();
    void TellOnceWhenVideoIsHidden();
    void DeliverEvent(int type, qint64 value);
    static void EventCallback(const libvlc_event_t *event, void *data);

    Qurel::TVlcSettings FSettings;
    std::unique_ptr<libvlc_instance_t, Qurel::VlcInstanceDeleter> FInstance;
    std::unique_ptr<libvlc_media_player_t, Qurel::VlcPlayerDeleter> FPlayer;
    bool FSubscribed = false;
    QWidget *FVideoWindow = nullptr;
    Qurel::VlcInputLayer *FInputLayer = nullptr;

    mutable QMutex FLock;
    qint64 FTime = 0;
    qint64 FLength = 0;
};
