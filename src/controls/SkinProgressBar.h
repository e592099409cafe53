#pragma once
// TMlSkinProgressBar: the picture-drawn seek bar of the player area. An integer
// value in [MinValue, MaxValue]; a draggable thumb; a press on the track jumps
// there and repeats while held.

#include <QPixmap>
#include <QTimer>
#include <QWidget>

struct TSkinTrackButton
{
    QPixmap Normal;
    QPixmap Hot;
    bool Visible = false;
    bool AlwaysShow = true;
    int Offset = 0;
};

class TMlSkinProgressBar : public QWidget
{
    Q_OBJECT
public:
    explicit TMlSkinProgressBar(QWidget *parent = nullptr);

    int MinValue() const { return FMinValue; }
    int MaxValue() const { return FMaxValue; }
    int Value() const { return FValue; }
    void SetMinValue(int value);
    void SetMaxValue(int value);
    void SetValue(int value);

    QPixmap Bar_Background;
    QPixmap Bar_Progress;
    int BarLeftRightSize = 6;
    TSkinTrackButton TrackButton;

    // While updates are pending OnChanged stays silent.
    void BeginUpdate() { ++FUpdateCount; }
    void EndUpdate();

    // Where things are drawn: the filled width and the thumb's rectangle.
    int FilledWidth() const;
    QRect ThumbRect() const;
    // The value under a horizontal position, linear over the track.
    int ValueAt(double x) const;

    QSize sizeHint() const override { return { 150, 17 }; }

signals:
    void OnChanged();

protected:
    void paintEvent(QPaintEvent *) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void enterEvent(QEnterEvent *) override;
    void leaveEvent(QEvent *) override;
    // A press that can no longer end in a release here (the bar is hidden or
    // disabled, loses the grab, the focus or its window) ends at once.
    bool event(QEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void EndPress();
    bool PressCanContinue() const;
    enum class Press { None, Drag, Track };
    void StoreValue(int value, bool alwaysNotify);
    void Notify();
    void RepeatTrackPress();
    int PressedValue(int x) const;
    bool ShowsHot() const { return FHover && !TrackButton.Hot.isNull(); }
    const QPixmap &ThumbPicture() const { return ShowsHot() ? TrackButton.Hot : TrackButton.Normal; }

    int FMinValue = 0;
    int FMaxValue = 100;
    int FValue = 50;
    int FUpdateCount = 0;
    bool FHover = false;
    Press FPress = Press::None;
    double FDragOffset = 0; // pointer minus thumb centre at the press
    int FTrackSide = 0; // -1: press left of the thumb, +1: right of it
    int FPointerX = 0;
    QTimer FRepeat;
};
