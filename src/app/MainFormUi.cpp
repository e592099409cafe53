// The main window's components: made, placed and coloured as the form lays them out.
#include "MainFormUi.h"

#include "ClickableImage.h"
#include "ClientFont.h"
#include "PictureFrame.h"
#include "SkinImageButton.h"
#include "SkinPainting.h"
#include "UserMessages.h"
#include "VlcPlayer.h"

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
constexpr int kHeaderHeight = 43;
constexpr int kPlayerSpacer = 18;
constexpr int kSegmentSpacer = 16;
constexpr int kBottomRow = 36;
constexpr int kMarkerStrip = 23;
constexpr int kProgPanelHeight = 53;

const QColor kTopColour(0x14, 0x6F, 0xA4);
const QColor kFunctionColour(0x33, 0x33, 0x33);
const QColor kBodyColour(0xFF, 0xFF, 0xFF);
const QColor kMarkerColour(0xF3, 0x98, 0x01);
const QColor kFrameColour(0xDC, 0xDC, 0xDC);
const QColor kProgPanelColour(0, 102, 171);
const QColor kSilver(0xC0, 0xC0, 0xC0);
const QColor kGrey(0x80, 0x80, 0x80);

constexpr auto setColour = &Qurel::SetColour;
constexpr auto paint = &Qurel::PaintBackground;

QWidget *panel(QWidget *parent, const QRect &geometry, const QString &name)
{
    auto *widget = new QWidget(parent);
    widget->setObjectName(name);
    widget->setGeometry(geometry);
    return widget;
}

// A 1 px silver line (the form's shapes).
QFrame *line(QWidget *parent, const QRect &geometry, const QString &name)
{
    auto *frame = new QFrame(parent);
    frame->setObjectName(name);
    frame->setGeometry(geometry);
    paint(frame, kSilver);
    return frame;
}

QLabel *label(QWidget *parent, const QString &text, const QString &name)
{
    auto *widget = new QLabel(text, parent);
    widget->setObjectName(name);
    return widget;
}

QPixmap skin(const QString &name)
{
    return QPixmap(QStringLiteral(":/skin/%1.png").arg(name));
}

// A flat picture button of the title bar; the "_hot" picture shows under the mouse.
QToolButton *titleButton(QWidget *parent, const QString &name, const QRect &geometry)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(name);
    button->setGeometry(geometry);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    QIcon icon(skin(name));
    icon.addPixmap(skin(name + QStringLiteral("_hot")), QIcon::Active);
    button->setIcon(icon);
    button->setIconSize(geometry.size());
    button->setStyleSheet(QStringLiteral("QToolButton { border: none; background: transparent; }"));
    return button;
}

} // namespace

void MainFormUi::setupUi(QWidget *form)
{
    buildTitleBar(form);
    const int bodyHeight = kHeight - kTopHeight - 1;
    shpLeft = line(form, QRect(0, kTopHeight, 1, bodyHeight), QStringLiteral("shpLeft"));
    shpRight = line(form, QRect(kWidth - 1, kTopHeight, 1, bodyHeight), QStringLiteral("shpRight"));
    shp4 = line(form, QRect(0, kHeight - 1, kWidth, 1), QStringLiteral("shp4"));
    pnl1 = panel(form, QRect(1, kTopHeight, kWidth - 2, bodyHeight), QStringLiteral("pnl1"));
    buildFunctionBar();
    buildPlaybackColumn();
    buildSegmentColumn();
}

void MainFormUi::buildTitleBar(QWidget *form)
{
    pnlTop = panel(form, QRect(0, 0, kWidth, kTopHeight), QStringLiteral("pnlTop"));
    imgLogo = label(pnlTop, QString(), QStringLiteral("imgLogo"));
    imgLogo->setGeometry(pnlTop->rect());
    imgLogo->setAlignment(Qt::AlignCenter);
    imgLogo->setScaledContents(true);
    imgLogo->setPixmap(skin(QStringLiteral("logo")));
    btnMin = titleButton(pnlTop, QStringLiteral("btnMin"), QRect(922, 3, 23, 25));
    btnClose = titleButton(pnlTop, QStringLiteral("btnClose"), QRect(950, 3, 23, 25));
    btnMin->setToolTip(QStringLiteral("最小化"));
    btnClose->setToolTip(QStringLiteral("关闭"));
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
    pnlFunction = panel(pnl1, QRect(0, 0, pnl1->width(), kFunctionHeight), QStringLiteral("pnlFunction"));
    shpFunction = line(pnl1, QRect(0, kFunctionHeight, pnl1->width(), 1), QStringLiteral("shpFunction"));
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
        button->setIcon(QIcon(skin(QLatin1String(entry.name))));
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
    pnlLeftB = panel(pnl1, QRect(0, top, kLeftMargin, height), QStringLiteral("pnlLeftB"));
    pnl3 = panel(pnl1, QRect(kLeftMargin, top, width, height), QStringLiteral("pnl3"));
    pnlCursor = panel(pnl1, QRect(kLeftMargin + width, top, kCursorGap, height), QStringLiteral("pnlCursor"));

    pnl4 = panel(pnl3, QRect(0, 0, width, kHeaderHeight), QStringLiteral("pnl4"));
    lblLookBack = label(pnl4, QStringLiteral("回放"), QStringLiteral("lblLookBack"));
    lblStatus = label(pnl4, Qurel::kRecordingStatusPrefix, QStringLiteral("lblStatus"));
    lblTiming = label(pnl4, QStringLiteral("00:00:00"), QStringLiteral("lblTiming"));
    for (QLabel *grey : { lblStatus, lblTiming }) {
        grey->setFont(Qurel::ClientFont(12));
        setColour(grey, QPalette::WindowText, kGrey);
    }
    lblStatus->move(214, 28);
    lblStatus->adjustSize();
    lblTiming->move(364, 28);
    lblTiming->adjustSize();
    lblTiming->hide();
    shpPlayTop = line(pnl3, QRect(0, kHeaderHeight, width, 1), QStringLiteral("shpPlayTop"));

    const int playerTop = kHeaderHeight + 1 + kPlayerSpacer;
    pnlPlayer = panel(
        pnl3, QRect(0, playerTop, width, height - playerTop - kBottomRow), QStringLiteral("pnlPlayer"));
    const int videoHeight = pnlPlayer->height() - kProgPanelHeight - 1;
    plyMain = new TVlcPlayer(pnlPlayer);
    plyMain->setObjectName(QStringLiteral("plyMain"));
    plyMain->setGeometry(0, 0, width, videoHeight);
    pnlVideoPic = panel(plyMain, plyMain->rect(), QStringLiteral("pnlVideoPic"));
    paint(pnlVideoPic, Qt::black);
    imgVideoPic = label(pnlVideoPic, QString(), QStringLiteral("imgVideoPic"));
    imgVideoPic->setGeometry(pnlVideoPic->rect());
    imgVideoPic->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    imgPlay = new Qurel::ClickableImage(pnlVideoPic);
    imgPlay->setObjectName(QStringLiteral("imgPlay"));
    imgPlay->resize(110, 111);
    imgPlay->setPixmap(skin(QStringLiteral("play")));
    imgPlay->setCursor(Qt::PointingHandCursor);
    shpProgTop = line(pnlPlayer, QRect(0, videoHeight, width, 1), QStringLiteral("shpProgTop"));
    pnlProgPanel = panel(
        pnlPlayer, QRect(0, videoHeight + 1, width, kProgPanelHeight), QStringLiteral("pnlProgPanel"));
    paint(pnlProgPanel, kProgPanelColour);
}

void MainFormUi::buildSegmentColumn()
{
    const int top = kFunctionHeight + 1;
    const int height = pnl1->height() - top;
    pnl2 = panel(
        pnl1, QRect(pnl1->width() - kSegmentWidth, top, kSegmentWidth, height), QStringLiteral("pnl2"));
    auto *header = panel(pnl2, QRect(0, 0, kSegmentWidth, kHeaderHeight), QStringLiteral("pnl5"));
    lblSection = label(header, QStringLiteral("片段"), QStringLiteral("lblSection"));
    shpSectionTop = line(pnl2, QRect(0, kHeaderHeight, kSegmentWidth, 1), QStringLiteral("shpSectionTop"));
    for (QLabel *heading : { lblLookBack, lblSection }) {
        heading->setGeometry(3, 24, 41, 21);
        heading->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        heading->setFont(Qurel::ClientFont(16, true));
    }

    const int listTop = kHeaderHeight + 1 + kSegmentSpacer;
    pnlPic = panel(
        pnl2, QRect(0, listTop, kSegmentWidth, height - listTop - kBottomRow), QStringLiteral("pnlPic"));
    pnlCurPlay = panel(pnlPic, QRect(0, 0, kMarkerStrip, pnlPic->height()), QStringLiteral("pnlCurPlay"));
    shp6 = new QFrame(pnlCurPlay);
    shp6->setObjectName(QStringLiteral("shp6"));
    shp6->setGeometry(kMarkerStrip - 5, 0, 5, pnlPic->height());
    shp6->setAutoFillBackground(true);
    imgCurPlay = label(pnlCurPlay, QString(), QStringLiteral("imgCurPlay"));
    imgCurPlay->setGeometry(0, 24, 20, 22);
    imgCurPlay->setPixmap(QPixmap(QStringLiteral(":/player/cur_play.png")));
    pnlPicList = panel(pnlPic, QRect(kMarkerStrip, 0, kSegmentWidth - kMarkerStrip, pnlPic->height()),
        QStringLiteral("pnlPicList"));
    TPicFrame **frames[]
        = { &fraPicture1, &fraPicture2, &fraPicture3, &fraPicture4, &fraPicture5, &fraPicture6 };
    int number = 1;
    for (TPicFrame **frame : frames)
        {
        *frame = new TPicFrame(pnlPicList);
        (*frame)->setObjectName(QStringLiteral("fraPicture%1").arg(number++));
        (*frame)->setGeometry(0, 0, pnlPicList->width(), 74);
        (*frame)->UseFont(Qurel::ClientFont(14));
    }

    auto *bottom
        = panel(pnl2, QRect(0, height - kBottomRow, kSegmentWidth, kBottomRow), QStringLiteral("pnl9"));
    MlSkinImageButton1 = new TMlSkinImageButton(bottom);
    MlSkinImageButton1->setObjectName(QStringLiteral("MlSkinImageButton1"));
    MlSkinImageButton1->setGeometry(kMarkerStrip, 6, kSegmentWidth - kMarkerStrip, 26);
    MlSkinImageButton1->setCursor(Qt::PointingHandCursor);
}

// Frames are stacked from the player area's height: V = (height - 15) div 6, 3 px apart.
void MainFormUi::sizePicFrames()
{
    const int frameHeight = (pnlPlayer->height() - 15) / 6;
    QWidget *previous = nullptr;
    for (QObject *child : pnlPicList->children()) {
        auto *frame = qobject_cast<QWidget *>(child);
        if (!frame)
            continue;
        const int top = previous ? previous->y() + frameHeight + 3 : 1;
        frame->setGeometry(frame->x(), top, frame->width(), frameHeight);
        paint(frame, kFrameColour);
        if (auto *right
            = frame->findChild<QWidget *>(QStringLiteral("pnlRight"), Qt::FindDirectChildrenOnly)) {
            right->setGeometry(frame->width() - right->width(), 0, right->width(), frameHeight);
            paint(right, kTopColour);
        }
        previous = frame;
    }
}

void MainFormUi::centrePlaySymbol()
{
    imgPlay->move(
        pnlVideoPic->width() / 2 - imgPlay->width() / 2, pnlVideoPic->height() / 2 - imgPlay->height() / 2);
}

// The colours of the form: title bar, function bar, body, the current-segment marker, the headings.
void MainFormUi::colourForm()
{
    paint(pnlTop, kTopColour);
    paint(pnlFunction, kFunctionColour);
    paint(pnl1, kBodyColour);
    paint(shp6, kMarkerColour);
    setColour(lblLookBack, QPalette::WindowText, kTopColour);
    setColour(lblSection, QPalette::WindowText, kTopColour);
}
