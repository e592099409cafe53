#pragma once
// TfrmMain: the client's borderless main window, its state and its handlers.
// The window shows what the lesson keeper (qureld, a process of its own, through Qurel::KeeperView)
// reports and hands it the buttons, hot keys and settings; the keeper decides.
// The implementation is split by topic: MainForm.cpp (layout, start-up, close, external messages),
// MainFormControl.cpp, MainFormRecording.cpp, MainFormSegments.cpp, MainFormCommands.cpp and
// MainFormHeadTail.cpp. The title bar, the player area, the segment column and the commands on the
// listed recordings are components of their own (TitleBar, PlayerArea, SegmentColumn,
// RecordingCommands).

#include "ClientStatus.h"
#include "ExternalMessages.h"
#include "KeeperView.h"
#include "MainFormUi.h"
#include "PlayerArea.h"
#include "RecordingCommands.h"
#include "SegmentColumn.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QWidget>

class QTimer;

class TfrmMain : public QWidget
{
    Q_OBJECT

public:
    explicit TfrmMain(QWidget *parent = nullptr);
    ~TfrmMain() override;

    // ---- State, read from the parts that hold it ---------------------------------------------
    bool FRecording() const { return FKeeper->snapshot().recording(); } // a lesson's stream records
    QString FRecFileName() const { return FKeeper->snapshot().file; } // the recording's ".mp4"
    QDateTime FRecStartTime() const { return FKeeper->snapshot().startTime; }
    int CurVideoNum() const { return FUi.pnl2->CurVideoNum(); } // recordings found by the last reload
    TPicFrame *CurPicFra() const { return FUi.pnl2->CurPicFra(); } // the frame whose recording is current
    const Qurel::SegmentList &Segments() const { return FUi.pnl2->Segments(); } // what the list shows
    bool FullScreen() const { return FUi.pnlPlayer->FullScreen(); } // the player is in the full-screen window
    QString PPTFile() const { return FPPTFile; }
    // The lesson keeper as the window sees it.
    Qurel::KeeperView &Keeper() { return *FKeeper; }
    // The line `qurelctl status` prints.
    Qurel::ClientStatus Status() const;
    // False when the relay library could not be initialised; the program then ends.
    bool RelayReady() const { return FRelayReady; }

    // ---- Handlers ------------------------------------------------------------------------------
    // Start-up, close, external messages (MainForm.cpp)
    void FormCreate();
    void FormDestroy();
    // A message from outside (0x40B, 0x40C, WM_HOTKEY), already on the UI thread.
    void DispatchExternalMessage(const Qurel::ExternalMessage &message);
    // 0x40B: wParam 0 shows the window again, anything else does nothing.
    void ShowAgainMessage(qint64 wParam);

    // The keeper takes SDKConfig as it stands (a changed address reconnects, MainFormControl.cpp).
    void ApplyKeeperSettings();

    // Recording workflow (MainFormRecording.cpp). title: from the recorder's notice, or empty.
    void StartLocalRecording(const QString &title);
    void StopLocalRecording();
    void btnStartRecClick();
    void btnEndRecClick();
    void tmrRecTimingTimer();
    // WM_HOTKEY with F5 (0x74) or F6 (0x75): the recorder's start / stop record commands.
    void HotKeyRecord(int virtualKey);

    // Segment list and playback (MainFormSegments.cpp; the segment column and the player area)
    void LoadPicList();
    // 0x40C and the play controls: play the current segment from `position` ms.
    void PlayCurrent(qint64 position);
    TPicFrame *GetPicFrame(int number) const { return FUi.pnl2->GetPicFrame(number); }
    void plyMainDblClick() { FUi.pnlPlayer->plyMainDblClick(); }

    // The function bar's commands (MainFormCommands.cpp, MainFormHeadTail.cpp, RecordingCommands)
    void btnDelClick() { FCommands->btnDelClick(); }
    void btnSaveAsClick() { FCommands->btnSaveAsClick(); }
    void btnUploadClick() { FCommands->btnUploadClick(); }
    void btnSettingClick();
    void btnHeadTailClick();
    QStringList GetCheckedNums() const { return FUi.pnl2->GetCheckedNums(); }
    Qurel::RecordingList CheckedRecordingFrames() const { return FUi.pnl2->CheckedRecordingFrames(); }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    // Connects the components to their handlers.
    void WireLayout();
    // The keeper, and how what it reports reaches the labels.
    void WireKeeper();
    void KeeperChanged(const Qurel::KeeperSnapshot &snapshot);
    void KeeperAnswering(bool answering);
    void ShowConnectionStatus(const QString &text, bool makeVisible);
    void LessonStateChanged(const QString &state);
    void ShowRecordingLine();
    void ShowMessageLater(const QString &text);
    // The videos of the lesson being recorded and of those whose stop is still finishing them.
    QStringList LiveVideos() const;
    // Wires the player area and the segment column to the window and sets up the commands.
    void BuildPlayerControls();

    // ---- State ---------------------------------------------------------------------------------
    Qurel::KeeperView *FKeeper = nullptr;
    Qurel::KeeperSnapshot FShown; // what the labels show
    const bool FAutoMode; // AutoRec as read at start
    bool FCloseWhenSettled = false; // the user closed during a lesson; close once its files are done
    bool FRelayReady = false;
    QString FPPTFile; // program folder + "temp.ppt"
    Qurel::RecordingCommands *FCommands = nullptr;
    QTimer *tmrRecTiming = nullptr; // 1 s: the time recorded so far

    MainFormUi FUi;
};

// The main window of the running program (set by the program entry).
extern TfrmMain *frmMain;
