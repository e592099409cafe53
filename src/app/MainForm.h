#pragma once
// TfrmMain: the client's borderless main window, its state and its handlers.
// The window only wires the window-free parts together and shows their state: the recorder link
// (Qurel::RecorderLink) and the lesson copy (Qurel::LessonRecorder) decide, the window displays.
// The implementation is split by topic: MainForm.cpp (layout, start-up, close, title bar, external
// messages), MainFormControl.cpp, MainFormRecording.cpp, MainFormSegments.cpp, MainFormCommands.cpp,
// MainFormHeadTail.cpp and MainFormUpload.cpp.

#include "ClickableImage.h"
#include "ClientStatus.h"
#include "ExternalMessages.h"
#include "PictureFrame.h"
#include "LessonRecorder.h"
#include "RecorderLink.h"
#include "SkinImageButton.h"
#include "SkinProgressBar.h"
#include "VlcPlayer.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <memory>

class QFrame;
class QLabel;
class QPushButton;
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

    // ---- State, read from the parts that hold it ---------------------------------------------
    bool FRecording() const { return FLesson->recording(); } // a lesson's stream records
    QString FRecFileName() const { return FLesson->fileName(); } // the recording's ".mp4"
    QDateTime FRecStartTime() const { return FLesson->startTime(); }
    int CurVideoNum() const { return FCurVideoNum; } // recordings found by the last list reload
    TPicFrame *CurPicFra() const { return FCurPicFra; } // the frame whose recording is current
    bool FullScreen() const { return FFullScrPlay; } // the player is in the full-screen window
    QString PPTFile() const { return FPPTFile; }
    Qurel::LessonRecorder &Lesson() { return *FLesson; }
    Qurel::RecorderLink &Link() { return *FLink; }
    // The line `qurelctl status` prints.
    Qurel::ClientStatus Status() const;
    // False when the relay library could not be initialised; the program then ends.
    bool RelayReady() const { return FRelayReady; }

    // ---- Handlers ------------------------------------------------------------------------------
    // Start-up, title bar, close, external messages (MainForm.cpp)
    void FormCreate();
    void FormDestroy();
    void btnMinClick();
    void imgLogoMouseDown();
    void btnCloseClick();
    // A message from outside (0x40B, 0x40C, WM_HOTKEY), already on the UI thread.
    void DispatchExternalMessage(const Qurel::ExternalMessage &message);
    // 0x40B: wParam 0 shows the window again, anything else does nothing.
    void ShowAgainMessage(qint64 wParam);

    // Control channel (MainFormControl.cpp): a new attempt to SDKConfig.Address, port 18884.
    void ConnectRecorder();

    // Recording workflow (MainFormRecording.cpp). title: from the recorder's notice, or empty.
    void StartLocalRecording(const QString &title);
    void StopLocalRecording();
    void btnStartRecClick();
    void btnEndRecClick();
    void tmrRecTimingTimer();
    // WM_HOTKEY with F5 (0x74) or F6 (0x75): the recorder's start / stop record commands.
    void HotKeyRecord(int virtualKey);

    // Segment list and playback (MainFormSegments.cpp)
    void LoadPicList();
    // 0x40C and the play controls: play the current segment from `position` ms.
    void PlayCurrent(qint64 position);
    // Frame n (1 ... 6), the n-th frame of pnlPicList; nullptr for any other number.
    TPicFrame *GetPicFrame(int number) const;
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

    // Recording management commands (MainFormCommands.cpp, MainFormHeadTail.cpp, MainFormUpload.cpp)
    void btnDelClick();
    void btnSaveAsClick();
    void btnSettingClick();
    void btnHeadTailClick();
    void btnUploadClick();
    // The number texts (FIndex) of the ticked frames, frame 1 to 6; "-1" for a ticked frame that
    // no longer holds a recording.
    QStringList GetCheckedNums() const;
    // The ticked frames that hold a recording, in GetCheckedNums' order.
    QList<const TPicFrame *> CheckedRecordingFrames() const;

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
    // The lesson and the link, and how their state reaches the labels.
    void WireLessonAndLink();
    void ShowConnectionStatus(const QString &text, bool makeVisible);
    void LessonStateChanged(Qurel::LessonRecorder::State state);
    void ShowRecordingLine();
    void ShowMessageLater(const QString &text);
    TPicFrame *CreatePicFrame(int number);
    void ClearPicFrames();
    // Builds the seek bar, the play/pause buttons and time labels, and wires the player area.
    void BuildPlayerControls();
    // Fits the video, the preview and the control bar into pnlPlayer's current size.
    void ArrangePlayer();
    void LoadPlaySymbol(const QString &fileName);

    // ---- State ---------------------------------------------------------------------------------
    Qurel::LessonRecorder *FLesson = nullptr;
    Qurel::RecorderLink *FLink = nullptr;
    const bool FAutoMode; // AutoRec as read at start
    bool FCloseWhenSettled = false; // the user closed during a lesson; close once its files are done
    bool FRelayReady = false;
    QString FPPTFile; // program folder + "temp.ppt"
    bool FFullScrPlay = false; // the player area is in the full-screen window
    bool FAutoPlay = false; // the seek bar is moved by the player, not by the user
    TPicFrame *FCurPicFra = nullptr; // the frame whose recording is current
    int FCurVideoNum = 0; // recordings found by the last list reload
    QRect FPlayerHome; // pnlPlayer's place in the main window, for the way back from full screen
    QTimer *tmrRecTiming = nullptr; // 1 s: the time recorded so far

    // ---- Components (tests find them by their object names) -----------------------------------
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
    TMlSkinProgressBar *bpMain = nullptr;
    TMlSkinImageButton *btnStart = nullptr;
    TMlSkinImageButton *btnPause = nullptr;
    QLabel *lblCurTime = nullptr;
    QLabel *lblTimeSlash = nullptr;
    QLabel *lblMaxTime = nullptr;
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

};

// The main window of the running program (set by the program entry).
extern TfrmMain *frmMain;
