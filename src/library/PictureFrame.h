#pragma once
// TfraPicture: one entry of the segment list — the recording's thumbnail, its
// number and the tick that marks it for delete and upload. It only shows the
// entry; clicks and ticks are reported to whoever keeps the list.

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
    // itself is left as it is).
    void InitFraPic();
    // Shows entry `number` (1 ... 6) with its thumbnail and tick. A thumbnail
    // that cannot be read shows the placeholder instead; the frame is filled
    // all the same (see ShowsPlaceholder).
    void LoadFraPic(int number, const QString &thumbnailPath, bool ticked);

    // The frame shows an entry.
    bool HasRecording() const { return FNumber > 0; }
    // The entry's number, 0 while empty.
    int Number() const { return FNumber; }
    // The thumbnail could not be read and the placeholder is shown.
    bool ShowsPlaceholder() const { return FShowsPlaceholder; }

    void SetRightColor(const QColor &color);
    void SetFrameColor(const QColor &color);
    // The text font; the number is drawn in the same family, larger and bold.
    void UseFont(const QFont &font);

    Qurel::ClickableImage *imgMain;
    QFrame *pnlRight;
    QLabel *lblNum;
    QCheckBox *chkSel;

signals:
    void clicked(); // the thumbnail was clicked
    void tickChanged(bool ticked); // the tick changed, by the user or by LoadFraPic

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void ArrangeParts();
    QPixmap LoadThumbnail(const QString &path);
    int FNumber = 0;
    bool FShowsPlaceholder = false;
};

namespace Qurel {
// The picture shown for a thumbnail that cannot be read: "WithoutPic.jpg"
// from the program folder, or a plain grey picture when that fails too.
QPixmap PlaceholderThumbnail();
} // namespace Qurel
