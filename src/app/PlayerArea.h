#pragma once
// PlayerArea: the main window's player area (pnlPlayer): the video, the preview of the recording
// that waits to be played with the play symbol over it, and the control bar (seek bar, play and
// pause buttons, time labels). It plays what it is given; a double click on the video moves it
// into the full-screen window and back.

#include <QRect>
#include <QWidget>

class QFrame;
class QLabel;
class TMlSkinImageButton;
class TMlSkinProgressBar;
class TVlcPlayer;

namespace Qurel {
class ClickableImage;

class PlayerArea final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PlayerArea)

public:
    PlayerArea(QWidget *home, const QRect &geometry);

    // Stops playback and shows `preview` with the play symbol: a recording waits to be played.
    void Cue(const QPixmap &preview);
    // Stops playback and shows no preview: there is nothing to play.
    void CueNothing();
    // Resumes the paused video, or plays `video` from `position` ms. False, with nothing
    // started, when the video is to be started and its file is gone.
    bool Play(const QString &video, qint64 position);
    void Stop();
    void HidePreview();
    // The player area is in the full-screen window.
    bool FullScreen() const { return FFullScrPlay; }
    void centrePlaySymbol();

    // ---- Handlers ------------------------------------------------------------------------------
    void btnStartClick();
    void btnPauseClick();
    void imgPlayClick();
    void imgPlayMouseEnter();
    void imgPlayMouseLeave();
    void imgPlayMouseDown();
    void bpMainChanged();
    void plyMainMediaPlayerTimeChanged(qint64 newTime);
    void plyMainMediaPlayerLengthChanged(qint64 newLength);
    // Moves the player area into the full-screen window, or back into the main window.
    void plyMainDblClick();

signals:
    // The play button or the play symbol: the current recording is to play from its start.
    void playClicked();

private:
    void BuildVideo();
    void BuildControlBar();
    void Wire();
    // Fits the video, the preview and the control bar into the current size.
    void ArrangePlayer();
    void LoadPlaySymbol(const QString &fileName);
    // Stops playback and zeroes the seek bar and the time labels; the play button shows.
    void Rewind();

    TVlcPlayer *plyMain = nullptr;
    QWidget *pnlVideoPic = nullptr;
    QLabel *imgVideoPic = nullptr;
    ClickableImage *imgPlay = nullptr;
    QFrame *shpProgTop = nullptr;
    QWidget *pnlProgPanel = nullptr;
    TMlSkinProgressBar *bpMain = nullptr;
    TMlSkinImageButton *btnStart = nullptr;
    TMlSkinImageButton *btnPause = nullptr;
    QLabel *lblCurTime = nullptr;
    QLabel *lblTimeSlash = nullptr;
    QLabel *lblMaxTime = nullptr;

    bool FFullScrPlay = false;
    bool FAutoPlay = false; // the seek bar is moved by the player, not by the user
    QWidget *FHome = nullptr; // the main window's panel that holds the area outside full screen
    QRect FPlayerHome; // the area's place there, for the way back from full screen
};

} // namespace Qurel
