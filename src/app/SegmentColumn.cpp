// SegmentColumn: the six newest recordings, the current one and the folder of all.
#include "SegmentColumn.h"

#include "ClickableImage.h"
#include "ClientFont.h"
#include "Configs.h"
#include "LayoutParts.h"
#include "ProgramFolder.h"
#include "RecordingsStore.h"
#include "SkinImageButton.h"
#include "SkinPainting.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QUrl>

namespace Qurel {

namespace {
constexpr int kSegmentSpacer = 16;
constexpr int kMarkerStrip = 23; // the strip left of the list that holds the marker
const QColor kMarkerColour(0xF3, 0x98, 0x01);
const QColor kFrameColour(0xDC, 0xDC, 0xDC);
} // namespace

SegmentColumn::SegmentColumn(QWidget *parent, const QRect &geometry)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("pnl2"));
    setGeometry(geometry);
    auto *header = Panel(this, QRect(0, 0, width(), kHeaderHeight), QStringLiteral("pnl5"));
    ColumnHeading(header, QStringLiteral("片段"), QStringLiteral("lblSection"));
    Line(this, QRect(0, kHeaderHeight, width(), 1), QStringLiteral("shpSectionTop"));
    const int listTop = kHeaderHeight + 1 + kSegmentSpacer;
    BuildList(QRect(0, listTop, width(), height() - listTop - kBottomRow));
    BuildMoreButton(QRect(0, height() - kBottomRow, width(), kBottomRow));
}

void SegmentColumn::BuildList(const QRect &area)
{
    QWidget *pnlPic = Panel(this, area, QStringLiteral("pnlPic"));
    QWidget *pnlCurPlay
        = Panel(pnlPic, QRect(0, 0, kMarkerStrip, area.height()), QStringLiteral("pnlCurPlay"));
    auto *shp6 = new QFrame(pnlCurPlay);
    shp6->setObjectName(QStringLiteral("shp6"));
    shp6->setGeometry(kMarkerStrip - 5, 0, 5, area.height());
    PaintBackground(shp6, kMarkerColour);
    imgCurPlay = NamedLabel(pnlCurPlay, QString(), QStringLiteral("imgCurPlay"));
    imgCurPlay->setGeometry(0, 24, 20, 22);
    imgCurPlay->setPixmap(QPixmap(QStringLiteral(":/player/cur_play.png")));
    pnlPicList = Panel(pnlPic, QRect(kMarkerStrip, 0, area.width() - kMarkerStrip, area.height()),
        QStringLiteral("pnlPicList"));
    for (int number = 1; number <= SegmentList::kShown; ++number) {
        auto *frame = new TfraPicture(pnlPicList);
        frame->setObjectName(QStringLiteral("fraPicture%1").arg(number));
        frame->setGeometry(0, 0, pnlPicList->width(), 74);
        frame->UseFont(ClientFont(14));
        connect(frame, &TfraPicture::clicked, this, [this, frame] { fraPicture1imgMainClick(frame); });
        connect(frame, &TfraPicture::tickChanged, this,
            [this, number](bool ticked) { FSegments.setTicked(number - 1, ticked); });
        FFrames << frame;
    }
}

void SegmentColumn::BuildMoreButton(const QRect &row)
{
    QWidget *bottom = Panel(this, row, QStringLiteral("pnl9"));
    MlSkinImageButton1 = new TMlSkinImageButton(bottom);
    MlSkinImageButton1->setObjectName(QStringLiteral("MlSkinImageButton1"));
    MlSkinImageButton1->setGeometry(kMarkerStrip, 6, row.width() - kMarkerStrip, 26);
    MlSkinImageButton1->setCursor(Qt::PointingHandCursor);
    MlSkinImageButton1->NormalPicture = QPixmap(QStringLiteral(":/player/more_normal.png"));
    MlSkinImageButton1->HotPicture = QPixmap(QStringLiteral(":/player/more_hot.png"));
    MlSkinImageButton1->PressedPicture = QPixmap(QStringLiteral(":/player/more_pressed.png"));
    MlSkinImageButton1->Caption = QStringLiteral("加载更多片段");
    MlSkinImageButton1->CaptionVisible = true;
    MlSkinImageButton1->CaptionColor = Qt::white;
    MlSkinImageButton1->CaptionOffset = QPoint(20, 0);
    MlSkinImageButton1->setFont(ClientFont(14));
    MlSkinImageButton1->HotFont = ClientFont(15);
    connect(MlSkinImageButton1, &TMlSkinImageButton::OnClick, this, &SegmentColumn::MlSkinImageButton1Click);
}

void SegmentColumn::sizePicFrames(int playerHeight)
{
    const int frameHeight = (playerHeight - 15) / 6;
    const TfraPicture *previous = nullptr;
    for (TfraPicture *frame : std::as_const(FFrames)) {
        const int top = previous ? previous->y() + frameHeight + 3 : 1;
        frame->setGeometry(frame->x(), top, frame->width(), frameHeight);
        frame->SetFrameColor(kFrameColour);
        frame->pnlRight->setGeometry(
            frame->width() - frame->pnlRight->width(), 0, frame->pnlRight->width(), frameHeight);
        frame->SetRightColor(kTopColour);
        previous = frame;
    }
}

void SegmentColumn::ShowPicFrames()
{
    for (int n = 1; n <= SegmentList::kShown; ++n) {
        TfraPicture *frame = GetPicFrame(n);
        if (n <= FSegments.count())
            frame->LoadFraPic(n, FSegments.at(n - 1).thumbnailPath, FSegments.isTicked(n - 1));
        else
            frame->InitFraPic();
    }
}

QString SegmentColumn::ListedFolder() const
{
    return FServiceFolder.isEmpty() ? SDKConfig.SavePath : FServiceFolder;
}

void SegmentColumn::LoadPicList(const QStringList &liveVideos)
{
    if (SDKConfig.SavePath.isEmpty()) {
        SDKConfig.SavePath = DefaultRecordingsFolder();
        QDir().mkdir(SDKConfig.SavePath);
    }
    // The lesson being recorded stays out until its stop has finished its files.
    FSegments.Load(ListRecordings(ListedFolder()), liveVideos);
    FCurVideoNum = FSegments.total();
    for (int i = 0; i < FSegments.count(); ++i)
        CompleteSideFiles(FSegments.entry(i), this);
    ShowPicFrames();
    if (FSegments.count() > 0)
        fraPicture1imgMainClick(GetPicFrame(1));
}

bool SegmentColumn::HasCurrentRecording() const
{
    return FCurPicFra && FCurPicFra->HasRecording() && FSegments.hasCurrent();
}

QStringList SegmentColumn::GetCheckedNums() const
{
    QStringList numbers;
    for (int index : FSegments.tickedIndexes())
        numbers << QString::number(index + 1);
    return numbers;
}

void SegmentColumn::fraPicture1imgMainClick(TfraPicture *frame)
{
    if (!frame)
        return;
    emit frameChosen(frame);
    FCurPicFra = frame;
    if (frame->HasRecording()) {
        FSegments.select(frame->Number() - 1);
        for (int n = 1; n <= FSegments.count(); ++n)
            GetPicFrame(n)->chkSel->setChecked(FSegments.isTicked(n - 1));
    }
    imgCurPlay->move(imgCurPlay->x(), frame->y() + frame->height() / 2 - imgCurPlay->height() / 2);
}

void SegmentColumn::MlSkinImageButton1Click()
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(ListedFolder()));
}

} // namespace Qurel
