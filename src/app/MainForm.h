#pragma once
// TfrmMain: the client's borderless main window, its state and its handlers.
// The implementation is split by topic: MainForm.cpp (layout, start-up, close, title bar, external
// messages), MainFormControl.cpp, MainFormRecording.cpp, MainFormSegments.cpp, MainFormCommands.cpp,
// MainFormHeadTail.cpp and MainFormUpload.cpp. Each topic adds members only in its own section below.

#include "ClickableImage.h"
#include "ControlChannel.h"
#include "ExternalMessages.h"
#include "PictureFrame.h"
#include "RecordingOutput.h"
#include "SkinImageButton.h"
#include "SkinProgressBar.h"
#include "VlcPlayer.h"

#include <QAbstractSocket>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <memory>

class QFrame;
class QLabel;
class QPushButton;
class QTcpSocket;
class QTimer;
class QToolButton;

// The class of the six segment frames. They are made by TfrmMain::CreatePicFrame (in
// MainFormSegments.cpp). FormCreate sizes and colours every widget child of pnlPicList, and colours
// the frame's direct child named "pnlRight".
using TPicFrame = TfraPicture;

class TfrmMain : public QWidget
{
    Q_OBJECT

public:
    explicit TfrmMain(QWidget *parent = nullptr);
    ~TfrmMain() override;

    // ---- State ------------------------------------------------------------------------------
    bool FRecording = false; // a local recording is running
    QString FRecFileName; // base name while starting, then the full path of the ".mp4"
    QDateTime FRecStartTime; // when the local recording started
    quint32 FConnectStartTime = 0; // monotonic ms clock when the current connection attempt began
    QString FPPTFile; // program folder + "temp.ppt"
    bool FFullScrPlay = false; // the player area is in the full-screen window
    bool FAutoPlay = false; // the seek bar is moved by the player, not by the user
    TPicFrame *FCurPicFra = nullptr; // the frame whose recording is current
    int FCurVideoNum = 0; // recordings found by the last list reload

    // ---- Start-up, title bar, close, external messages (MainForm.cpp) ------------------------
    void FormCreate();
    void FormDestroy();
    void btnMinClick();
    void imgLogoMouseDown();
    void btnCloseClick();
    // False when the relay library could not be initialised; the program then ends.
    bool RelayReady() const { return FRelayReady; }

    // A message from outside (0x40B, 0x40C, WM_HOTKEY), already on the UI thread.
    void DispatchExternalMessage(const Qurel::ExternalMessage &message);
    // 0x40B: wParam 0 shows the window again, anything else does nothing.
    void ShowAgainMessage(qint64 wParam);

    // Title bar
    QWidget *pnlTop = nullptr;
    QLabel *imgLogo = nullptr;
    QToolButton *btnMin = nullptr;
    QToolButton *btnClose = nullptr;
    // Frame lines
    QFrame *shpLeft = nullptr;
    QFrame *shpRight = nullptr;
    QFrame *shp4 = nullptr;
    // Body and function bar
    QWidget *pnl1 = nullptr;
    QWidget *pnlFunction = nullptr;
    QFrame *shpFunction = nullptr;
    QToolButton *btnHeadTail = nullptr;
    QToolButton *btnStartRec = nullptr;
    QToolButton *btnEndRec = nullptr;
    QToolButton *btnUpload = nullptr;
    QToolButton *btnSaveAs = nullptr;
    QToolButton *btnDel = nullptr;
    QToolButton *btnSetting = nullptr;
    // Playback column
    QWidget *pnlLeftB = nullptr;
    QWidget *pnl3 = nullptr;
    QWidget *pnl4 = nullptr;
    QLabel *lblLookBack = nullptr;
    QLabel *lblStatus = nullptr;
    QLabel *lblTiming = nullptr;
    QFrame *shpPlayTop = nullptr;
    QWidget *pnlPlayer = nullptr;
    TVlcPlayer *plyMain = nullptr;
    QWidget *pnlVideoPic = nullptr;
    QLabel *imgVideoPic = nullptr;
    Qurel::ClickableImage *imgPlay = nullptr;
    QFrame *shpProgTop = nullptr;
    QWidget *pnlProgPanel = nullptr;
    QWidget *pnlCursor = nullptr;
    // Segment column
    QWidget *pnl2 = nullptr;
    QLabel *lblSection = nullptr;
    QFrame *shpSectionTop = nullptr;
    QWidget *pnlPic = nullptr;
    QWidget *pnlCurPlay = nullptr; // the 23 px strip left of the list
    QFrame *shp6 = nullptr;
    QLabel *imgCurPlay = nullptr;
    QWidget *pnlPicList = nullptr;
    TPicFrame *fraPicture1 = nullptr;
    TPicFrame *fraPicture2 = nullptr;
    TPicFrame *fraPicture3 = nullptr;
    TPicFrame *fraPicture4 = nullptr;
    TPicFrame *fraPicture5 = nullptr;
    TPicFrame *fraPicture6 = nullptr;
    TMlSkinImageButton *MlSkinImageButton1 = nullptr; // "加载更多片段"

    // ==== Control channel to the recorder (MainFormControl.cpp) ==============================
    // Opens a new connection attempt to SDKConfig.Address, port 18884.
    void ConnectRecorder();
    void csMainConnecting();
    void csMainConnect();
    void csMainRead();
    void csMainDisconnect();
    void csMainError(QAbstractSocket::SocketError error);
    void csMainLookup();
    void tmrPingTimer();
    void tmrHeartTimer();
    // Deletes the control socket without its last signals reaching a half-destroyed window.
    struct QuietSocketDelete
    {
        void operator()(QTcpSocket *socket) const;
    };
    std::unique_ptr<QTcpSocket, QuietSocketDelete> csMain; // made by the first ConnectRecorder, like the timers
    QTimer *tmrPing = nullptr;      // 1 s: the 10 s connection time-out
    QTimer *tmrHeart = nullptr;     // 8 s: "mark=live"
    QTimer *tmrReconnect = nullptr; // automatic mode: another attempt 10 s after a loss or time-out
    static bool AutoModeAtStart();
    void EnsureControlChannel();
    void ShowConnectionStatus(const QString &text, bool makeVisible);
    void ScheduleReconnect();
    const bool FAutoMode = AutoModeAtStart(); // AutoRec as read at start
    Qurel::ControlLineBuffer FControlLines;   // bytes after the last CR LF, kept for the next read
    // ==== end control channel =================================================================

    // ==== Recording workflow (MainFormRecording.cpp) ==========================================
    // title: from the recorder's notice (decoded), or empty for the button.
    void StartLocalRecording(const QString &title);
    void StopLocalRecording();
    void btnStartRecClick();
    void btnEndRecClick();
    void tmrRecTimingTimer();
    // WM_HOTKEY with F5 (0x74) or F6 (0x75): the recorder's start / stop record commands.
    void HotKeyRecord(int virtualKey);
    // The steps of a recording (made on first use).
    Qurel::RecordingOutput &Output();
    QTimer *tmrRecTiming = nullptr; // 1 s: the time recorded so far
    std::unique_ptr<Qurel::RecordingOutput> FOutput;
    // ==== end recording workflow ==============================================================

    // ==== Segment list and playback (MainFormSegments.cpp) ====================================
    TPicFrame *CreatePicFrame(int number);
    void LoadPicList();
    // 0x40C and the play controls: play the current segment from `position` ms.
    void PlayCurrent(qint64 position);
    void ClearPicFrames();
    // Frame n (1 ... 6), the n-th frame of pnlPicList; nullptr for any other number.
    TPicFrame *GetPicFrame(int number) const;

    TMlSkinProgressBar *bpMain = nullptr;
    TMlSkinImageButton *btnStart = nullptr;
    TMlSkinImageButton *btnPause = nullptr;
    QLabel *lblCurTime = nullptr;
    QLabel *lblTimeSlash = nullptr;
    QLabel *lblMaxTime = nullptr;

    void fraPicture1imgMainClick(TPicFrame *frame);
    void btnStartClick();
    void btnPauseClick();
    void imgPlayClick();
    void imgPlayMouseEnter();
    void imgPlayMouseLeave();
    void imgPlayMouseDown();
    void bpMainChanged();
    void plyMainMediaPlayerTimeChanged(qint64 newTime);
    void plyMainMediaPlayerLengthChanged(qint64 newLength);
    void plyMainDblClick();
    void MlSkinImageButton1Click();

private:
    // Builds the seek bar, the play/pause buttons and time labels, and wires the player area.
    void BuildPlayerControls();
    // Fits the video, the preview and the control bar into pnlPlayer's current size.
    void ArrangePlayer();
    void LoadPlaySymbol(const QString &fileName);
    QRect FPlayerHome; // pnlPlayer's place in the main window, for the way back from full screen

public:
    // ==== end segment list and playback =======================================================

    // ==== Recording management commands (MainFormCommands.cpp) ================================
    void btnDelClick();
    void btnSaveAsClick();
    void btnSettingClick();
    // The ticked frames that hold a recording, from GetCheckedNums in its order. A frame emptied
    // by a reload keeps its hidden tick and reports "-1"; it has nothing to act on and is left out.
    QList<const TPicFrame *> CheckedRecordingFrames() const;
    // ==== end recording management commands ===================================================

    // ==== Head and tail slides (MainFormHeadTail.cpp) =========================================
    void btnHeadTailClick();
    // ==== end head and tail slides ============================================================

    // ==== Upload (MainFormUpload.cpp) =========================================================
    void btnUploadClick();
    // The number texts (FIndex) of the ticked frames, frame 1 to 6; "-1" for a ticked frame that
    // no longer holds a recording. Used by the delete and upload commands.
    QStringList GetCheckedNums() const;
    // ==== end upload ==========================================================================

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void BuildLayout();
    void BuildTitleBar();
    void BuildFunctionBar();
    void BuildPlaybackColumn();
    void BuildSegmentColumn();
    void SizePicFrames();
    void CentrePlaySymbol();

    bool FRelayReady = false;
};

// The main window of the running program (set by the program entry).
extern TfrmMain *frmMain;
