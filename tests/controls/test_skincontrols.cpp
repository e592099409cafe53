// The seek bar and the picture button, driven with simulated mouse and keys.
#include "SkinImageButton.h"
#include "SkinProgressBar.h"

#include <QDialog>
#include <QSignalSpy>
#include <QtTest>

class TestSkinControls : public QObject
{
    Q_OBJECT

    // A 102-px bar (track 100 px from x=1) over 0..1000 with a 10-px thumb.
    static void configureBar(TMlSkinProgressBar &bar)
    {
        bar.resize(102, 13);
        QPixmap thumb(10, 10);
        thumb.fill(Qt::white);
        bar.TrackButton.Normal = thumb;
        bar.TrackButton.Visible = true;
        bar.SetMaxValue(1000);
        bar.SetValue(0);
    }
    static void setUpBar(TMlSkinProgressBar &bar)
    {
        configureBar(bar);
        bar.show();
        QVERIFY(QTest::qWaitForWindowExposed(&bar));
    }

private slots:
    void barDefaults()
    {
        TMlSkinProgressBar bar;
        QCOMPARE(bar.size(), QSize(150, 17));
        QCOMPARE(bar.MinValue(), 0);
        QCOMPARE(bar.MaxValue(), 100);
        QCOMPARE(bar.Value(), 50);
        QVERIFY(!bar.TrackButton.Visible);
        QVERIFY(bar.TrackButton.AlwaysShow);
        QVERIFY(!bar.Bar_Background.isNull() && !bar.Bar_Progress.isNull());
    }

    void barValueClampsAndSignalsOnlyOnChange()
    {
        TMlSkinProgressBar bar;
        QSignalSpy changed(&bar, &TMlSkinProgressBar::OnChanged);
        bar.SetValue(50);
        QCOMPARE(changed.count(), 0);
        bar.SetValue(500);
        QCOMPARE(bar.Value(), 100);
        QCOMPARE(changed.count(), 1);
        bar.SetValue(1000); // clamps to the same value: no event
        QCOMPARE(changed.count(), 1);
        bar.SetValue(-5);
        QCOMPARE(bar.Value(), 0);
        QCOMPARE(changed.count(), 2);
        bar.SetValue(80);
        bar.SetMaxValue(30); // lowers the value silently
        QCOMPARE(bar.Value(), 30);
        QCOMPARE(changed.count(), 3);
        bar.SetMinValue(40);
        QCOMPARE(bar.Value(), 40);
        QCOMPARE(changed.count(), 3);
        bar.BeginUpdate();
        bar.BeginUpdate();
        bar.SetMinValue(0);
        bar.SetValue(10);
        bar.EndUpdate();
        bar.SetValue(11);
        QCOMPARE(changed.count(), 3);
        bar.EndUpdate();
        bar.SetValue(12);
        QCOMPARE(changed.count(), 4);
    }

    void barGeometry()
    {
        TMlSkinProgressBar bar;
        bar.resize(200, 13);
        QPixmap thumb(10, 9);
        thumb.fill(Qt::white);
        bar.TrackButton.Normal = thumb;
        bar.TrackButton.Visible = true;
        bar.SetValue(25);
        QCOMPARE(bar.FilledWidth(), 50);
        QCOMPARE(bar.ThumbRect(), QRect(40, 2, 10, 9)); // right edge at the filled width
        bar.SetValue(0);
        QCOMPARE(bar.ThumbRect().left(), 0); // kept inside with AlwaysShow
        bar.TrackButton.AlwaysShow = false;
        QCOMPARE(bar.ThumbRect().left(), -10);
        bar.SetMaxValue(0); // empty range: nothing filled, the minimum everywhere
        QCOMPARE(bar.FilledWidth(), 0);
        QCOMPARE(bar.ValueAt(150), 0);
    }

    void barTrackPressJumpsAndRepeats()
    {
        TMlSkinProgressBar bar;
        setUpBar(bar);
        QSignalSpy changed(&bar, &TMlSkinProgressBar::OnChanged);
        QTest::mousePress(&bar, Qt::LeftButton, {}, QPoint(51, 6));
        QCOMPARE(bar.Value(), 500);
        QCOMPARE(changed.count(), 1);
        QVERIFY(bar.hasFocus());
        // Still held, pointer further right (the thumb's side does not change): repeats follow it.
        QTest::mouseMove(&bar, QPoint(71, 6));
        QTest::qWait(150);
        QCOMPARE(bar.Value(), 500); // the first repeat waits 200 ms
        QTRY_COMPARE_WITH_TIMEOUT(bar.Value(), 700, 300);
        QTest::mouseMove(&bar, QPoint(81, 6));
        QTRY_COMPARE_WITH_TIMEOUT(bar.Value(), 800, 250); // then every 100 ms
        QTest::mouseRelease(&bar, Qt::LeftButton, {}, QPoint(81, 6));
        const int events = changed.count();
        QTest::qWait(250);
        QCOMPARE(changed.count(), events); // nothing repeats after the release
        QCOMPARE(events, 3);
    }

    void barRepeatEndsWhenThePressCannotEnd_data()
    {
        QTest::addColumn<int>("cause");
        QTest::newRow("hidden") << 0;
        QTest::newRow("disabled") << 1;
        QTest::newRow("focus lost") << 2;
        QTest::newRow("modal dialog") << 3;
    }

    void barRepeatEndsWhenThePressCannotEnd()
    {
        QFETCH(int, cause);
        QWidget window;
        auto *bar = new TMlSkinProgressBar(&window);
        auto *other = new QWidget(&window);
        other->setFocusPolicy(Qt::StrongFocus);
        window.resize(200, 60);
        configureBar(*bar);
        other->move(0, 30);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(51, 6));
        QTest::mouseMove(bar, QPoint(91, 6));
        QCOMPARE(bar->Value(), 500);
        // No release follows where the press went: it is lost to the bar.
        QDialog dialog;
        switch (cause) {
        case 0:
            bar->hide();
            break;
        case 1:
            bar->setEnabled(false);
            break;
        case 2:
            other->setFocus();
            break;
        default:
            dialog.setModal(true);
            dialog.show();
            break;
        }
        QTest::qWait(450);
        QCOMPARE(bar->Value(), 500);
        // Nothing left over: back in use, the bar does not move on its own.
        bar->show();
        bar->setEnabled(true);
        dialog.hide();
        QTest::qWait(250);
        QCOMPARE(bar->Value(), 500);
    }

    void barThumbDragKeepsThePressOffset()
    {
        TMlSkinProgressBar bar;
        setUpBar(bar);
        bar.SetValue(500); // thumb spans 41..50, centre 46
        QSignalSpy changed(&bar, &TMlSkinProgressBar::OnChanged);
        QTest::mousePress(&bar, Qt::LeftButton, {}, QPoint(48, 6)); // 2 px right of the centre
        QCOMPARE(bar.Value(), 500);
        QCOMPARE(changed.count(), 0);
        QTest::mouseMove(&bar, QPoint(68, 6));
        QCOMPARE(bar.Value(), 650); // (68 - 2 - 1) / 100
        QCOMPARE(changed.count(), 1);
        QTest::mouseMove(&bar, QPoint(68, 6)); // every move while dragging raises the event
        QCOMPARE(changed.count(), 2);
        QTest::mouseMove(&bar, QPoint(500, 6));
        QCOMPARE(bar.Value(), 1000);
        QTest::mouseRelease(&bar, Qt::LeftButton, {}, QPoint(500, 6));
        QCOMPARE(changed.count(), 3); // release with the same value: no event
        QTest::mouseMove(&bar, QPoint(20, 6));
        QCOMPARE(bar.Value(), 1000); // not dragging any more
    }

    void barIgnoresMouseAndKeysWithoutThumb()
    {
        TMlSkinProgressBar bar;
        setUpBar(bar);
        bar.TrackButton.Visible = false;
        QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(51, 6));
        QTest::keyClick(&bar, Qt::Key_End);
        QCOMPARE(bar.Value(), 0);
    }

    void barKeys()
    {
        TMlSkinProgressBar bar;
        setUpBar(bar);
        bar.setFocus();
        QTest::keyClick(&bar, Qt::Key_End);
        QCOMPARE(bar.Value(), 1000);
        QTest::keyClick(&bar, Qt::Key_Right);
        QTest::keyClick(&bar, Qt::Key_PageUp);
        QCOMPARE(bar.Value(), 1000);
        QTest::keyClick(&bar, Qt::Key_Left);
        QTest::keyClick(&bar, Qt::Key_Down);
        QTest::keyClick(&bar, Qt::Key_PageDown);
        QTest::keyClick(&bar, Qt::Key_Minus, Qt::KeypadModifier);
        QCOMPARE(bar.Value(), 996);
        QTest::keyClick(&bar, Qt::Key_Minus); // the main keyboard's minus is not a step
        QCOMPARE(bar.Value(), 996);
        QTest::keyClick(&bar, Qt::Key_Plus, Qt::KeypadModifier);
        QTest::keyClick(&bar, Qt::Key_Up);
        QCOMPARE(bar.Value(), 998);
        QTest::keyClick(&bar, Qt::Key_Home);
        QCOMPARE(bar.Value(), 0);
        QTest::keyClick(&bar, Qt::Key_Left);
        QCOMPARE(bar.Value(), 0);
    }

    void stripSlices()
    {
        TSkinPictureStrip strip;
        QImage image(228, 35, QImage::Format_ARGB32);
        for (int i = 0; i < 4; ++i)
            for (int x = i * 57; x < (i + 1) * 57; ++x)
                for (int y = 0; y < 35; ++y)
                    image.setPixelColor(x, y, QColor(i * 60, 0, 0));
        strip.Png = QPixmap::fromImage(image);
        strip.Count = 4;
        for (int i = 0; i < 4; ++i) {
            const QImage slice = strip.Slice(i).toImage();
            QCOMPARE(slice.size(), QSize(57, 35));
            QCOMPARE(slice.pixelColor(0, 0).red(), i * 60);
            QCOMPARE(slice.pixelColor(56, 34).red(), i * 60);
        }
        QVERIFY(strip.Slice(4).isNull());
        QVERIFY(strip.Slice(-1).isNull());
    }

    void buttonPicturesFollowTheState()
    {
        TMlSkinImageButton button;
        QCOMPARE(button.size(), QSize(75, 25));
        button.Pictures.Png = QPixmap(QStringLiteral(":/player/btn_play.png"));
        QCOMPARE(button.Pictures.Png.width(), 228);
        button.Pictures.Count = 4;
        button.Pictures.Active = true;
        button.resize(57, 35);
        button.show();
        QVERIFY(QTest::qWaitForWindowExposed(&button));
        const QImage normal = button.Pictures.Slice(0).toImage();
        const QImage hot = button.Pictures.Slice(1).toImage();
        const QImage pressed = button.Pictures.Slice(2).toImage();
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&button, &leave);
        QCOMPARE(button.StatePicture().toImage(), normal);
        QEnterEvent enter(QPointF(10, 10), QPointF(10, 10), QPointF(10, 10));
        QApplication::sendEvent(&button, &enter);
        QCOMPARE(button.StatePicture().toImage(), hot);
        QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(10, 10));
        QVERIFY(button.Down());
        QCOMPARE(button.StatePicture().toImage(), pressed);
        QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(10, 10));
        button.setEnabled(false);
        QCOMPARE(button.StatePicture().toImage(), normal); // Disable is slice 0
        button.Pictures.Active = false;
        QVERIFY(button.StatePicture().isNull()); // no separate disabled picture given
    }

    void buttonClickOnlyWhenReleasedOver()
    {
        TMlSkinImageButton button;
        button.show();
        QVERIFY(QTest::qWaitForWindowExposed(&button));
        QSignalSpy clicks(&button, &TMlSkinImageButton::OnClick);
        QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(clicks.count(), 1);
        QVERIFY(!button.Down());
        QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(200, 5));
        QCOMPARE(clicks.count(), 1);
        QVERIFY(!button.Down());
        QTest::mouseClick(&button, Qt::RightButton, {}, QPoint(5, 5));
        QCOMPARE(clicks.count(), 1);
    }

    void buttonGroupActsAsRadio()
    {
        QWidget parent;
        auto *a = new TMlSkinImageButton(&parent);
        auto *b = new TMlSkinImageButton(&parent);
        auto *loose = new TMlSkinImageButton(&parent);
        a->GroupIndex = b->GroupIndex = 1;
        b->move(0, 30);
        loose->move(0, 60);
        loose->SetDown(true);
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));
        QTest::mouseClick(a, Qt::LeftButton, {}, QPoint(5, 5));
        QVERIFY(a->Down());
        QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(5, 5));
        QVERIFY(b->Down());
        QVERIFY(!a->Down());
        QVERIFY(loose->Down()); // other groups are left alone
        QTest::mousePress(a, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseRelease(a, Qt::LeftButton, {}, QPoint(300, 300));
        QVERIFY(!a->Down());
        QVERIFY(b->Down());
    }
};

QTEST_MAIN(TestSkinControls)
#include "test_skincontrols.moc"
