#pragma once
// MainFormUi: the main window's components, made and laid out as the form describes them (sizes,
// places, colours, pictures, texts). The window's behaviour lives in TfrmMain, which holds one.

#include <QSize>

class QFrame;
class QLabel;
class QToolButton;
class QWidget;
class TfraPicture;
class TMlSkinImageButton;
class TMlSkinProgressBar;
class TVlcPlayer;
namespace Qurel {
class ClickableImage;
inline constexpr QSize kMainFormSize(972, 642);
} // namespace Qurel

using TPicFrame = TfraPicture;

struct MainFormUi
{
    // Makes every component inside form. The player's own controls come later (TfrmMain).
    void setupUi(QWidget *form);
    void colourForm();
    // The six frames share the player area's height: V = (height - 15) div 6, 3 px apart.
    void sizePicFrames();
    void centrePlaySymbol();

    // Components (tests find them by their object names)
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


private:
    void buildTitleBar(QWidget *form);
    void buildFunctionBar();
    void buildPlaybackColumn();
    void buildSegmentColumn();
};
