#pragma once
// TfraPicture: one segment of the list — the recording's thumbnail, its number
// and the tick that marks it for delete and upload. It carries the
// recording's paths and GUID so the main window can act on it directly.

#include <QFrame>
#include <QPixmap>

class QCheckBox;
class QLabel;

namespace Qurel {
class ClickableImage;
}

class TfraPicture : public QFrame
{
    Q_OBJECT
public:
    explicit TfraPicture(QWidget *parent = nullptr);

    // Empties the frame: no recording, number and tick hidden (the tick
    // itself is the user's and is kept).
    void InitFraPic();
    // Shows one recording. A missing thumbnail becomes a copy of the fallback
    // picture and a missing information file is written. A thumbnail that
    // still cannot be read shows the placeholder instead; the frame is filled
    // all the same (see ShowsPlaceholder).
    void LoadFraPic(
        const QString &AIndex, const QString &APicPath, const QString &AVideoPath, const QString &ATxtPath);

    // The frame holds a recording.
    bool HasRecording() const { return !FPicPath.isEmpty(); }
    // The thumbnail could not be read and the placeholder is shown.
    bool ShowsPlaceholder() const { return FShowsPlaceholder; }

    void SetRightColor(const QColor &color);
    void SetFrameColor(const QColor &color);

    QString FGuid;
    QString FIndex = QStringLiteral("-1");
    QString FPicPath;
    QString FVideoPath;
    QString FTxtPath;

    Qurel::ClickableImage *imgMain;
    QFrame *pnlRight;
    QLabel *lblNum;
    QCheckBox *chkSel;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void ArrangeParts();
    QString ReadGuid() const;
    QPixmap LoadThumbnail();
    bool FShowsPlaceholder = false;
};

namespace Qurel {
// The picture shown for a thumbnail that cannot be read: "WithoutPic.jpg"
// from the program folder, or a plain grey picture when that fails too.
QPixmap PlaceholderThumbnail();
} // namespace Qurel
