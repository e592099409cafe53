#include "PictureFrame.h"

#include "ClickableImage.h"
#include "ProgramFolder.h"
#include "RecordingsStore.h"

#include <QCheckBox>
#include <QDateTime>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>

namespace {
constexpr int kRightWidth = 34;

void setBackground(QWidget *widget, const QColor &color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, color);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}
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
    QFont simSun(QStringLiteral("宋体"));
    simSun.setPixelSize(14);
    setFont(simSun);
    setBackground(this, QColor(0xC0, 0xC0, 0xC0));
    resize(177, 74);

    imgMain->setObjectName(QStringLiteral("imgMain"));
    imgMain->setScaledContents(true);
    imgMain->setAlignment(Qt::AlignCenter);

    pnlRight->setObjectName(QStringLiteral("pnlRight"));
    pnlRight->setFrameShape(QFrame::NoFrame);
    pnlRight->hide();
    lblNum->setGeometry(4, 42, 26, 27);
    lblNum->setAlignment(Qt::AlignCenter);
    QFont numFont(simSun);
    numFont.setPixelSize(20);
    numFont.setBold(true);
    lblNum->setFont(numFont);
    QPalette white = lblNum->palette();
    white.setColor(QPalette::WindowText, Qt::white);
    lblNum->setPalette(white);
    chkSel->setGeometry(9, 13, 18, 17);
    ArrangeParts();
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
    setBackground(pnlRight, color);
}

void TfraPicture::SetFrameColor(const QColor &color)
{
    setBackground(this, color);
}

void TfraPicture::InitFraPic()
{
    FGuid.clear();
    FPicPath.clear();
    FVideoPath.clear();
    FIndex = QStringLiteral("-1");
    FShowsPlaceholder = false;
    pnlRight->hide();
    imgMain->clear();
}

QPixmap TfraPicture::LoadThumbnail()
{
    if (!QFileInfo::exists(FPicPath))
        Qurel::CopyNoPicture(FPicPath);
    QImageReader reader(FPicPath);
    reader.setAutoTransform(true);
    const QImage image = reader.read();
    FShowsPlaceholder = image.isNull();
    return FShowsPlaceholder ? Qurel::PlaceholderThumbnail() : QPixmap::fromImage(image);
}

void TfraPicture::LoadFraPic(
    const QString &AIndex, const QString &APicPath, const QString &AVideoPath, const QString &ATxtPath)
{
    FIndex = AIndex;
    FPicPath = APicPath;
    FVideoPath = AVideoPath;
    FTxtPath = ATxtPath;
    FShowsPlaceholder = false;
    lblNum->setText(AIndex);

    // A thumbnail that cannot be read does not hide the recording: it keeps its
    // number and tick, can be played, saved, deleted and uploaded.
    if (!APicPath.isEmpty()) {
        imgMain->setPixmap(LoadThumbnail());
        pnlRight->show();
    }
    if (!ATxtPath.isEmpty() && !QFileInfo::exists(ATxtPath))
        Qurel::WriteInfoFile(
            ATxtPath, QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")), window());
    FGuid = ReadGuid();
}

QString TfraPicture::ReadGuid() const
{
    if (FTxtPath.isEmpty())
        return {};
    return Qurel::ReadInfoFileGuid(FTxtPath);
}
