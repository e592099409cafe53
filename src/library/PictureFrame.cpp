#include "PictureFrame.h"

#include "ClickableImage.h"
#include "ProgramFolder.h"
#include "SkinPainting.h"

#include <QCheckBox>
#include <QImageReader>
#include <QLabel>

namespace {
constexpr int kRightWidth = 34;
} // namespace

namespace Qurel {
QPixmap PlaceholderThumbnail()
{
    QPixmap picture(Qurel::ProgramFolder() + QStringLiteral("WithoutPic.jpg"));
    if (picture.isNull()) {
        picture = QPixmap(144, 81);
        picture.fill(QColor(0x80, 0x80, 0x80));
    }
    return picture;
}
} // namespace Qurel

TfraPicture::TfraPicture(QWidget *parent)
    : QFrame(parent)
    , imgMain(new Qurel::ClickableImage(this))
    , pnlRight(new QFrame(this))
    , lblNum(new QLabel(pnlRight))
    , chkSel(new QCheckBox(pnlRight))
{
    Qurel::PaintBackground(this, QColor(0xC0, 0xC0, 0xC0));
    resize(177, 74);

    imgMain->setObjectName(QStringLiteral("imgMain"));
    imgMain->setScaledContents(true);
    imgMain->setAlignment(Qt::AlignCenter);

    pnlRight->setObjectName(QStringLiteral("pnlRight"));
    pnlRight->setFrameShape(QFrame::NoFrame);
    pnlRight->hide();
    lblNum->setGeometry(4, 42, 26, 27);
    lblNum->setAlignment(Qt::AlignCenter);
    QFont textFont = font();
    textFont.setPixelSize(14);
    UseFont(textFont);
    Qurel::SetColour(lblNum, QPalette::WindowText, Qt::white);
    chkSel->setGeometry(9, 13, 18, 17);
    ArrangeParts();
    connect(imgMain, &Qurel::ClickableImage::clicked, this, &TfraPicture::clicked);
    connect(chkSel, &QCheckBox::toggled, this, &TfraPicture::tickChanged);
}

void TfraPicture::UseFont(const QFont &font)
{
    setFont(font);
    QFont numFont(font);
    numFont.setPixelSize(20);
    numFont.setBold(true);
    lblNum->setFont(numFont);
}

void TfraPicture::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    ArrangeParts();
}

void TfraPicture::ArrangeParts()
{
    pnlRight->setGeometry(width() - kRightWidth, 0, kRightWidth, height());
    imgMain->setGeometry(0, 0, width() - kRightWidth, height());
}

void TfraPicture::SetRightColor(const QColor &color)
{
    Qurel::PaintBackground(pnlRight, color);
}

void TfraPicture::SetFrameColor(const QColor &color)
{
    Qurel::PaintBackground(this, color);
}

void TfraPicture::InitFraPic()
{
    FNumber = 0;
    FShowsPlaceholder = false;
    pnlRight->hide();
    imgMain->clear();
}

QPixmap TfraPicture::LoadThumbnail(const QString &path)
{
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QImage image = reader.read();
    FShowsPlaceholder = image.isNull();
    return FShowsPlaceholder ? Qurel::PlaceholderThumbnail() : QPixmap::fromImage(image);
}

void TfraPicture::LoadFraPic(int number, const QString &thumbnailPath, bool ticked)
{
    FNumber = number;
    lblNum->setText(QString::number(number));
    // A thumbnail that cannot be read does not hide the recording: it keeps its
    // number and tick, can be played, saved, deleted and uploaded.
    imgMain->setPixmap(LoadThumbnail(thumbnailPath));
    pnlRight->show();
    chkSel->setChecked(ticked);
}
