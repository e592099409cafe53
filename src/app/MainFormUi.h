#pragma once
// MainFormUi: the main window's components, made and laid out as the form describes them (sizes,
// places, colours, pictures, texts). The player area and the segment column are components with
// their own behaviour; the window's lives in TfrmMain, which holds one MainFormUi.

#include <QSize>

class QFrame;
class QLabel;
class QToolButton;
class QWidget;
class TfraPicture;
namespace Qurel {
class PlayerArea;
class SegmentColumn;
class TitleBar;
inline constexpr QSize kMainFormSize(972, 642);
} // namespace Qurel

using TPicFrame = TfraPicture;

struct MainFormUi
{
    // Makes every component inside form.
    void setupUi(QWidget *form);
    void colourForm();
    // The segment column's frames share the player area's height.
    void sizePicFrames();
    void centrePlaySymbol();

    // Components (tests find them by their object names)
    Qurel::TitleBar *pnlTop = nullptr; // the title bar: logo, minimise, close
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
    QWidget *pnlCursor = nullptr;
    Qurel::PlayerArea *pnlPlayer = nullptr; // the video, its preview and the control bar
    // Segment column: the six newest recordings
    Qurel::SegmentColumn *pnl2 = nullptr;

private:
    void buildFunctionBar();
    void buildPlaybackColumn();
};
