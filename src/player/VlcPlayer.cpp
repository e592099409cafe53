#include "VlcPlayer.h"

#include "MessageBoxes.h"
#include "SkinPainting.h"
#include "TimeText.h"
#include "VideoPlatform.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QStyleHints>
#include <QThread>
#include <QVersionNumber>

#include <vlc/vlc.h>

namespace Qurel {

void VlcInstanceDeleter::operator()(libvlc_instance_t *instance) const
{
    libvlc_release(instance);
}

void VlcPlayerDeleter::operator()(libvlc_media_player_t *player) const
{
    libvlc_media_player_release(player);
}

namespace {
    QStringList &extraOptions()
    {
        static QStringList options;
        return options;
    }

    struct MediaDeleter
    {
        void operator()(libvlc_media_t *media) const { libvlc_media_release(media); }
    };
    using MediaPtr = std::unique_ptr<libvlc_media_t, MediaDeleter>;

    // libvlc from media-changed to length-changed: the events the player forwards.
    constexpr int kFirstEvent = libvlc_MediaPlayerMediaChanged;
    constexpr int kLastEvent = libvlc_MediaPlayerLengthChanged;

    // The only platforms with a native window libvlc can draw into.
    bool platformHasNativeWindows()
    {
        const QString platform = QGuiApplication::platformName();
        return platform == QLatin1String("xcb") || platform == QLatin1String("windows")
            || platform == QLatin1String("cocoa");
    }

    bool versionAccepted()
    {
        const QString text = QString::fromUtf8(libvlc_get_version());
        return QVersionNumber::fromString(text) >= QVersionNumber(1, 1, 0);
    }

    qint64 eventValue(const libvlc_event_t *event)
    {
        switch (event->type) {
        case libvlc_MediaPlayerTimeChanged:
            return event->u.media_player_time_changed.new_time;
        case libvlc_MediaPlayerLengthChanged:
            return event->u.media_player_length_changed.new_length;
        case libvlc_MediaPlayerPositionChanged:
            return qRound64(event->u.media_player_position_changed.new_position * 1000.0);
        case libvlc_MediaPlayerBuffering:
            return qRound64(event->u.media_player_buffering.new_cache);
        case libvlc_MediaPlayerSeekableChanged:
            return event->u.media_player_seekable_changed.new_seekable;
        case libvlc_MediaPlayerPausableChanged:
            return event->u.media_player_pausable_changed.new_pausable;
        case libvlc_MediaPlayerTitleChanged:
            return event->u.media_player_title_changed.new_title;
        default:
            return 0;
        }
    }
} // namespace

void SetVlcExtraOptionsForTesting(const QStringList &options)
{
    extraOptions() = options;
}

// Covers the video completely and reports the mouse as the player's events;
// it paints nothing, so the picture below stays visible.
class VlcInputLayer : public QWidget
{
public:
    VlcInputLayer(TVlcPlayer *player, QWidget *parent)
        : QWidget(parent)
        , m_player(player)
    {
        setAttribute(Qt::WA_NoSystemBackground);
        setAttribute(Qt::WA_TranslucentBackground);
        setMouseTracking(true);
    }

protected:
    void mousePressEvent(QMouseEvent *e) override
    {
        m_lastPress = { e->button(), e->timestamp(), true };
        emit m_player->OnMouseDown(e->button(), e->pos());
    }
    void mouseReleaseEvent(QMouseEvent *e) override
    {
        emit m_player->OnMouseUp(e->button(), e->pos());
        if (e->button() == Qt::LeftButton && rect().contains(e->pos()))
            emit m_player->OnClick();
    }
    void mouseDoubleClickEvent(QMouseEvent *e) override
    {
        // A double-click counts only when its first click landed here too: the
        // first click of one that began on something above the video (the play
        // symbol, which hides itself when clicked) is not the video's.
        const bool firstClickHere = m_lastPress.valid && m_lastPress.button == e->button()
            && e->timestamp() - m_lastPress.timestamp
                <= quint64(QGuiApplication::styleHints()->mouseDoubleClickInterval());
        m_lastPress = { e->button(), e->timestamp(), true };
        emit m_player->OnMouseDown(e->button(), e->pos());
        if (e->button() == Qt::LeftButton && firstClickHere)
            emit m_player->OnDblClick();
    }
    void mouseMoveEvent(QMouseEvent *e) override { emit m_player->OnMouseMove(e->pos()); }
    void enterEvent(QEnterEvent *) override { emit m_player->OnMouseEnter(); }
    void leaveEvent(QEvent *) override { emit m_player->OnMouseLeave(); }

private:
    struct Press
    {
        Qt::MouseButton button = Qt::NoButton;
        quint64 timestamp = 0;
        bool valid = false;
    };
    TVlcPlayer *m_player;
    Press m_lastPress;
};

} // namespace Qurel

using namespace Qurel;

TVlcPlayer::TVlcPlayer(QWidget *parent)
    : QWidget(parent)
{
    resize(320, 240);
    PaintBackground(this, Qt::black);

    FVideoWindow = new QWidget(this);
    PaintBackground(FVideoWindow, Qt::black);
    if (platformHasNativeWindows()) {
        FVideoWindow->setAttribute(Qt::WA_DontCreateNativeAncestors);
        FVideoWindow->setAttribute(Qt::WA_NativeWindow);
    }
    FInputLayer = new VlcInputLayer(this, FVideoWindow);
}

TVlcPlayer::~TVlcPlayer()
{
    QMutexLocker locker(&FLock);
    if (FPlayer) {
        Subscribe(false);
        QThread::msleep(10);
        libvlc_media_player_stop(FPlayer.get());
        WaitUntilStopped();
    }
    FPlayer.reset();
    FInstance.reset();
}

QWidget *TVlcPlayer::InputLayer() const
{
    return FInputLayer;
}

bool TVlcPlayer::DrawsIntoWindow() const
{
    return platformHasNativeWindows();
}

void TVlcPlayer::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    FVideoWindow->setGeometry(rect());
    FInputLayer->setGeometry(FVideoWindow->rect());
}

bool TVlcPlayer::EnsureLibVlc()
{
    if (FInstance)
        return true;
    if (!versionAccepted())
        return false;
    const QStringList options
        = VlcInstanceOptions(FSettings, { !DrawsIntoWindow(), !HasSoundOutput() }) + extraOptions();
    std::vector<QByteArray> utf8;
    for (const QString &option : options)
        utf8.push_back(option.toUtf8());
    std::vector<const char *> argv;
    for (const QByteArray &arg : utf8)
        argv.push_back(arg.constData());
    FInstance.reset(libvlc_new(int(argv.size()), argv.data()));
    return FInstance != nullptr;
}

libvlc_media_player_t *TVlcPlayer::FetchPlayer()
{
    if (!EnsureLibVlc())
        return nullptr;
    if (!FPlayer) {
        FPlayer.reset(libvlc_media_player_new(FInstance.get()));
        if (!FPlayer)
            return nullptr;
        libvlc_video_set_mouse_input(FPlayer.get(), 1);
        libvlc_video_set_key_input(FPlayer.get(), 1);
    }
    if (FSettings.UseEvents) {
        Subscribe(false);
        Subscribe(true);
    }
    return FPlayer.get();
}

void TVlcPlayer::Subscribe(bool on)
{
    if (!FPlayer || on == FSubscribed)
        return;
    libvlc_event_manager_t *manager = libvlc_media_player_event_manager(FPlayer.get());
    for (int type = kFirstEvent; type <= kLastEvent; ++type) {
        if (on)
            libvlc_event_attach(manager, type, &TVlcPlayer::EventCallback, this);
        else
            libvlc_event_detach(manager, type, &TVlcPlayer::EventCallback, this);
    }
    FSubscribed = on;
}

// Runs on a libvlc thread: only hands the event over to the UI thread.
void TVlcPlayer::EventCallback(const libvlc_event_t *event, void *data)
{
    auto *player = static_cast<TVlcPlayer *>(data);
    const int type = event->type;
    const qint64 value = eventValue(event);
    QMetaObject::invokeMethod(
        player, [player, type, value] { player->DeliverEvent(type, value); }, Qt::QueuedConnection);
}

void TVlcPlayer::DeliverEvent(int type, qint64 value)
{
    {
        QMutexLocker locker(&FLock);
        if (type == libvlc_MediaPlayerTimeChanged)
            FTime = value;
        else if (type == libvlc_MediaPlayerLengthChanged)
            FLength = value;
    }
    emit OnMediaPlayerEvent(type, value);
    if (type == libvlc_MediaPlayerTimeChanged)
        emit OnMediaPlayerTimeChanged(value);
    else if (type == libvlc_MediaPlayerLengthChanged)
        emit OnMediaPlayerLengthChanged(value);
}

void TVlcPlayer::WaitUntilStopped()
{
    // libvlc 3 stops synchronously; the bound only guards against a stuck input.
    QElapsedTimer clock;
    clock.start();
    while (libvlc_media_player_is_playing(FPlayer.get()) && clock.elapsed() < 5000)
        QThread::msleep(1);
}

void TVlcPlayer::Play(const QString &path, int timeoutMs, bool rtspOverTcp)
{
    if (FPlayer) {
        libvlc_media_player_stop(FPlayer.get());
        WaitUntilStopped();
    }
    libvlc_media_player_t *player = FetchPlayer();
    if (!player)
        return;
    TellOnceWhenVideoIsHidden();

    const bool isFile = QFileInfo(path).isFile();
    const QByteArray utf8 = isFile ? QFileInfo(path).absoluteFilePath().toUtf8() : path.toUtf8();
    MediaPtr media(isFile ? libvlc_media_new_path(FInstance.get(), utf8.constData())
                          : libvlc_media_new_location(FInstance.get(), utf8.constData()));
    if (!media)
        return;
    for (const QString &option : VlcMediaOptions(FSettings, rtspOverTcp, isFile))
        libvlc_media_add_option(media.get(), option.toUtf8().constData());
    libvlc_media_player_set_media(player, media.get());

    if (DrawsIntoWindow()) {
#if defined(Q_OS_WIN)
        libvlc_media_player_set_hwnd(player, reinterpret_cast<void *>(FVideoWindow->winId()));
#elif defined(Q_OS_MACOS)
        libvlc_media_player_set_nsobject(player, reinterpret_cast<void *>(FVideoWindow->winId()));
#else
        libvlc_media_player_set_xwindow(player, uint32_t(FVideoWindow->winId()));
#endif
    }
    {
        QMutexLocker locker(&FLock);
        FTime = 0;
        FLength = 0;
    }
    libvlc_media_player_play(player);

    if (!isFile) {
        // Addresses may take a while to open; local files never wait here.
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < timeoutMs) {
            const libvlc_state_t state = libvlc_media_player_get_state(player);
            if (state == libvlc_Playing || state == libvlc_Error || state == libvlc_Ended)
                break;
            QThread::msleep(10);
        }
    }
}

void TVlcPlayer::TellOnceWhenVideoIsHidden()
{
    // The sound plays on; the user learns once why the picture stays black.
    static bool told = false;
    if (told || DrawsIntoWindow() || !PlatformHidesVideo())
        return;
    told = true;
    ShowMsg(window(), QStringLiteral("当前桌面无法在窗口中显示视频(需要X11或XWayland),只能播放声音!"));
}

void TVlcPlayer::Pause()
{
    if (FPlayer && GetState() == vpPlaying)
        libvlc_media_player_set_pause(FPlayer.get(), 1);
}

void TVlcPlayer::Resume()
{
    if (FPlayer && GetState() == vpPaused)
        libvlc_media_player_set_pause(FPlayer.get(), 0);
}

void TVlcPlayer::Stop()
{
    if (!FPlayer)
        return;
    libvlc_media_player_stop(FPlayer.get());
    WaitUntilStopped();
}

TVlcPlayerState TVlcPlayer::GetState() const
{
    if (!FPlayer)
        return vpNothingSpecial;
    return TVlcPlayerState(libvlc_media_player_get_state(FPlayer.get()));
}

bool TVlcPlayer::CanSeek() const
{
    return FPlayer && libvlc_media_player_is_seekable(FPlayer.get());
}

qint64 TVlcPlayer::GetVideoPosInMs() const
{
    return FPlayer ? qMax<qint64>(0, libvlc_media_player_get_time(FPlayer.get())) : 0;
}

void TVlcPlayer::SetVideoPosInMs(qint64 ms)
{
    if (FPlayer)
        libvlc_media_player_set_time(FPlayer.get(), ms);
}

qint64 TVlcPlayer::GetVideoLenInMs() const
{
    return FPlayer ? qMax<qint64>(0, libvlc_media_player_get_length(FPlayer.get())) : 0;
}

QString TVlcPlayer::GetVideoPosStr(const QString &format) const
{
    return ClockText(GetVideoPosInMs(), format);
}

QString TVlcPlayer::GetVideoLenStr(const QString &format) const
{
    return ClockText(GetVideoLenInMs(), format);
}

qint64 TVlcPlayer::LastEventTime() const
{
    QMutexLocker locker(&FLock);
    return FTime;
}

qint64 TVlcPlayer::LastEventLength() const
{
    QMutexLocker locker(&FLock);
    return FLength;
}
