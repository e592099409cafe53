#pragma once
// TMlSkinImageButton: a button drawn from pictures, either separate ones or
// one strip of equal slices; optional caption; radio groups by GroupIndex.

#include <QFont>
#include <QPixmap>
#include <QWidget>

struct TSkinPictureStrip
{
    QPixmap Png;
    int Count = 3;
    int Normal = 0;
    int Hot = 1;
    int Pressed = 2;
    int Disable = 0;
    bool Active = false;

    // Slice `index` of Count equal-width slices; none for an index out of range.
    QPixmap Slice(int index) const;
};

class TMlSkinImageButton : public QWidget
{
    Q_OBJECT
public:
    explicit TMlSkinImageButton(QWidget *parent = nullptr);

    TSkinPictureStrip Pictures;
    QPixmap NormalPicture;
    QPixmap HotPicture;
    QPixmap PressedPicture;
    QPixmap DisabledPicture;
    QPoint ImageOffset;
    QPoint CaptionOffset;
    int PressedOffset = 1;
    bool CaptionVisible = false;
    QString Caption;
    QString text() const { return Caption; }
    QFont HotFont;
    bool WordWrap = false;
    QColor CaptionColor = Qt::black;
    int GroupIndex = 0;

    bool Down() const { return FDown; }
    void SetDown(bool down);
    bool IsHot() const { return FHover && !FDown; }
    bool IsPressed() const { return FDown || FHeld; }

    // The picture drawn in the current state.
    QPixmap StatePicture() const;

    QSize sizeHint() const override { return { 75, 25 }; }

signals:
    void OnClick();

protected:
    void paintEvent(QPaintEvent *) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void enterEvent(QEnterEvent *) override;
    void leaveEvent(QEvent *) override;
    void changeEvent(QEvent *event) override;

private:
    QPixmap Picture(int stripIndex, const QPixmap &separate) const;
    void ReleaseGroup();

    bool FDown = false;
    bool FHeld = false;
    bool FHover = false;
    bool FDownBeforePress = false;
};
