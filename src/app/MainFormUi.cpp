// The main window's components: made, placed and coloured as the form lays them out.
#include "MainFormUi.h"

#include "ClientFont.h"
#include "LayoutParts.h"
#include "PlayerArea.h"
#include "SegmentColumn.h"
#include "SkinPainting.h"
#include "TitleBar.h"
#include "UserMessages.h"

#include <QFrame>
#include <QLabel>
#include <QToolButton>

namespace {
// Client area and the fixed parts of the layout, in pixels.
constexpr int kWidth = Qurel::kMainFormSize.width();
constexpr int kHeight = Qurel::kMainFormSize.height();
constexpr int kTopHeight = 80;
constexpr int kFunctionHeight = 35;
constexpr int kLeftMargin = 21;
constexpr int kCursorGap = 9;
constexpr int kSegmentWidth = 228;
constexpr int kPlayerSpacer = 18;
using Qurel::kBottomRow;
using Qurel::kHeaderHeight;

const QColor kFunctionColour(0x33, 0x33, 0x33);
const QColor kBodyColour(0xFF, 0xFF, 0xFF);
const QColor kGrey(0x80, 0x80, 0x80);

constexpr auto setColour = &Qurel::SetColour;
constexpr auto paint = &Qurel::PaintBackground;
using Qurel::Line;
using Qurel::NamedLabel;
using Qurel::Panel;
using Qurel::SkinPicture;
} // namespace

void MainFormUi::setupUi(QWidget *form)
{
    pnlTop = new Qurel::TitleBar(form, QRect(0, 0, kWidth, kTopHeight));
    const int bodyHeight = kHeight - kTopHeight - 1;
    shpLeft = Line(form, QRect(0, kTopHeight, 1, bodyHeight), QStringLiteral("shpLeft"));
    shpRight = Line(form, QRect(kWidth - 1, kTopHeight, 1, bodyHeight), QStringLiteral("shpRight"));
    shp4 = Line(form, QRect(0, kHeight - 1, kWidth, 1), QStringLiteral("shp4"));
    pnl1 = Panel(form, QRect(1, kTopHeight, kWidth - 2, bodyHeight), QStringLiteral("pnl1"));
    buildFunctionBar();
    buildPlaybackColumn();
    const int top = kFunctionHeight + 1;
    pnl2 = new Qurel::SegmentColumn(
        pnl1, QRect(pnl1->width() - kSegmentWidth, top, kSegmentWidth, pnl1->height() - top));
}

void MainFormUi::buildFunctionBar()
{
    struct FunctionButton
    {
        QToolButton *MainFormUi::*field;
        const char *name;
        const char *caption;
        int left;
        int width;
    };
    // The function bar, left to right.
    const FunctionButton buttons[] = {
        { &MainFormUi::btnHeadTail, "btnHeadTail", "片头片尾", 6, 102 },
        { &MainFormUi::btnStartRec, "btnStartRec", "开始录制", 358, 102 },
        { &MainFormUi::btnEndRec, "btnEndRec", "停止录制", 466, 102 },
        { &MainFormUi::btnUpload, "btnUpload", "上传", 608, 75 },
        { &MainFormUi::btnSaveAs, "btnSaveAs", "另存为", 690, 92 },
        { &MainFormUi::btnDel, "btnDel", "删除", 792, 75 },
        { &MainFormUi::btnSetting, "btnSetting", "系统设置", 876, 85 },
    };
    pnlFunction = Panel(pnl1, QRect(0, 0, pnl1->width(), kFunctionHeight), QStringLiteral("pnlFunction"));
    shpFunction = Line(pnl1, QRect(0, kFunctionHeight, pnl1->width(), 1), QStringLiteral("shpFunction"));
    const QString style = QStringLiteral(
        "QToolButton { color: white; border: none; background: transparent; padding-left: 4px; }"
        "QToolButton:hover { background: #474747; }"
        "QToolButton:pressed { background: #1F1F1F; }");
    for (const FunctionButton &entry : buttons) {
        auto *button = new QToolButton(pnlFunction);
        button->setObjectName(QLatin1String(entry.name));
        button->setText(QString::fromUtf8(entry.caption));
        button->setGeometry(entry.left, 3, entry.width, 30);
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        button->setIcon(QIcon(SkinPicture(QLatin1String(entry.name))));
        button->setIconSize(QSize(20, 20));
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setFont(Qurel::ClientFont(14));
        button->setStyleSheet(style);
        button->setCursor(Qt::PointingHandCursor);
        this->*entry.field = button;
    }
    btnStartRec->hide();
    btnEndRec->hide();
}

void MainFormUi::buildPlaybackColumn()
{
    const int top = kFunctionHeight + 1;
    const int height = pnl1->height() - top;
    const int width = pnl1->width() - kLeftMargin - kCursorGap - kSegmentWidth;
    pnlLeftB = Panel(pnl1, QRect(0, top, kLeftMargin, height), QStringLiteral("pnlLeftB"));
    pnl3 = Panel(pnl1, QRect(kLeftMargin, top, width, height), QStringLiteral("pnl3"));
    pnlCursor = Panel(pnl1, QRect(kLeftMargin + width, top, kCursorGap, height), QStringLiteral("pnlCursor"));

    pnl4 = Panel(pnl3, QRect(0, 0, width, kHeaderHeight), QStringLiteral("pnl4"));
    lblLookBack = Qurel::ColumnHeading(pnl4, QStringLiteral("回放"), QStringLiteral("lblLookBack"));
    lblStatus = NamedLabel(pnl4, Qurel::kRecordingStatusPrefix, QStringLiteral("lblStatus"));
    lblTiming = NamedLabel(pnl4, QStringLiteral("00:00:00"), QStringLiteral("lblTiming"));
    for (QLabel *grey : { lblStatus, lblTiming }) {
        grey->setFont(Qurel::ClientFont(12));
        setColour(grey, QPalette::WindowText, kGrey);
    }
    lblStatus->move(214, 28);
    lblStatus->adjustSize();
    lblTiming->move(364, 28);
    lblTiming->adjustSize();
    lblTiming->hide();
    shpPlayTop = Line(pnl3, QRect(0, kHeaderHeight, width, 1), QStringLiteral("shpPlayTop"));

    const int playerTop = kHeaderHeight + 1 + kPlayerSpacer;
    pnlPlayer = new Qurel::PlayerArea(pnl3, QRect(0, playerTop, width, height - playerTop - kBottomRow));
}

void MainFormUi::sizePicFrames()
{
    pnl2->sizePicFrames(pnlPlayer->height());
}

void MainFormUi::centrePlaySymbol()
{
    pnlPlayer->centrePlaySymbol();
}

// The colours of the form: function bar and body (the components colour their own parts).
void MainFormUi::colourForm()
{
    paint(pnlFunction, kFunctionColour);
    paint(pnl1, kBodyColour);
}
