// The settings dialog: layout, filling, the port filter, the folder chooser
// and the checks of the save button with their messages and focus.

#include "Configs.h"
#include "FileDialogs.h"
#include "MessageBoxes.h"
#include "SettingFields.h"
#include "SettingForm.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionGroupBox>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qurel;

class TestSettingForm : public QObject
{
    Q_OBJECT

    QTemporaryDir tmp;
    QStringList messages;

    QString folder(const QString &name)
    {
        const QString path = tmp.filePath(name);
        QDir().mkpath(path);
        return path;
    }

    static SettingFields validFields(const QString &path)
    {
        SettingFields f;
        f.path = path;
        f.ipAddr = QStringLiteral("127.0.0.70");
        f.vobPort = QStringLiteral("554");
        f.userName = QStringLiteral("admin");
        f.password = QStringLiteral("secret");
        f.httpPort = QStringLiteral("80");
        f.uploadAddr = QStringLiteral("127.0.0.71");
        f.uploadPort = QStringLiteral("9500");
        return f;
    }

    // Opens the dialog for real so that focus changes can be observed.
    static std::unique_ptr<TfrmSetting> shownDialog()
    {
        auto dialog = std::make_unique<TfrmSetting>();
        dialog->show();
        dialog->activateWindow();
        if (!QTest::qWaitForWindowActive(dialog.get()))
            qWarning("dialog not active");
        return dialog;
    }

private slots:
    void init()
    {
        messages.clear();
        SetMsgHandler([this](const MsgRequest &r) {
            messages << (r.title == QStringLiteral("Qurel助手") ? r.text
                                                                : QStringLiteral("wrong title: ") + r.text);
            return true;
        });
        SetFileDialogHandler({});
    }

    void layoutAndCaptions()
    {
        TfrmSetting dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("设置"));
        QCOMPARE(dialog.size(), QSize(366, 277));
        QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
        QVERIFY(!(dialog.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QCOMPARE(dialog.grpSavePath->title(), QStringLiteral("视频文件保存路径"));
        QCOMPARE(dialog.grpSavePath->geometry(), QRect(0, 14, 366, 61));
        QCOMPARE(dialog.gpbMachineSet->title(), QStringLiteral("录播机设置"));
        QCOMPARE(dialog.gpbMachineSet->geometry(), QRect(0, 75, 366, 118));
        QCOMPARE(dialog.GroupBox1->title(), QStringLiteral("资源平台设置"));
        QCOMPARE(dialog.GroupBox1->geometry(), QRect(0, 193, 366, 48));
        QCOMPARE(dialog.edtPath->geometry(), QRect(12, 22, 295, 22));
        QCOMPARE(dialog.btnView->geometry(), QRect(313, 20, 38, 25));
        QCOMPARE(dialog.btnView->text(), QStringLiteral("浏览"));
        QCOMPARE(dialog.edtIPAddr->geometry(), QRect(61, 19, 116, 22));
        QCOMPARE(dialog.edtVobPort->geometry(), QRect(235, 19, 116, 22));
        QCOMPARE(dialog.edtUserName->geometry(), QRect(61, 54, 116, 22));
        QCOMPARE(dialog.edtPassword->geometry(), QRect(235, 54, 116, 22));
        QCOMPARE(dialog.edtHttpPort->geometry(), QRect(61, 90, 116, 22));
        QCOMPARE(dialog.edtUploadAddr->parentWidget(), dialog.GroupBox1);
        QCOMPARE(dialog.edtUploadPort->geometry(), QRect(235, 19, 116, 22));
        QCOMPARE(dialog.btnSave->geometry(), QRect(50, 247, 75, 25));
        QCOMPARE(dialog.btnSave->text(), QStringLiteral("保存"));
        QCOMPARE(dialog.btnClose->geometry(), QRect(138, 247, 75, 25));
        QCOMPARE(dialog.btnClose->text(), QStringLiteral("关闭"));
        QCOMPARE(dialog.lblVersionCaption->text(), QStringLiteral("版本："));
        QCOMPARE(dialog.lblVersionCaption->pos(), QPoint(251, 256));
        QCOMPARE(dialog.lblVersion->pos(), QPoint(291, 256));
        QCOMPARE(dialog.lblVersion->font().pixelSize(), 12);
        QCOMPARE(dialog.font().pixelSize(), 14);

        QStringList labels;
        for (QLabel *label : dialog.gpbMachineSet->findChildren<QLabel *>())
            labels << label->text();
        QCOMPARE(labels, (QStringList { "IP地址", "端口号", "用户名", "密  码", "http端口" }));

        dialog.edtPassword->setText(QStringLiteral("abc"));
        QCOMPARE(dialog.edtPassword->displayText(), QStringLiteral("***"));

        // Focus order: buttons, recorder group, folder group, platform group.
        const QList<QWidget *> order { dialog.btnSave, dialog.btnClose, dialog.edtIPAddr, dialog.edtVobPort,
            dialog.edtUserName, dialog.edtPassword, dialog.edtHttpPort, dialog.edtPath, dialog.btnView,
            dialog.edtUploadAddr, dialog.edtUploadPort };
        auto nextTabStop = [](QWidget *w) {
            do
                w = w->nextInFocusChain();
            while (!(w->focusPolicy() & Qt::TabFocus));
            return w;
        };
        for (int i = 0; i + 1 < order.size(); ++i)
            QCOMPARE(nextTabStop(order[i]), order[i + 1]);
    }

    // With whatever Chinese font the desktop has: every text is whole, keeps
    // clear of the edges and of the edit it names, and each group's title
    // stays above what the group holds. A picture is left for a look.
    void textsFitInsideTheirPlaces()
    {
        const auto dialog = shownDialog();
        dialog->lblVersion->setText(QStringLiteral("1.0.0.0"));
        dialog->lblVersion->adjustSize();
        dialog->grab().save(QStringLiteral(QUREL_BINARY_DIR "/testhome/test_setting_form/settings.png"));
        for (QLabel *label : dialog->findChildren<QLabel *>()) {
            const QString name = label->text();
            const QRect place = label->geometry();
            const QSize needed = label->fontMetrics().boundingRect(name).size();
            QVERIFY2(needed.width() <= place.width() && label->fontMetrics().height() <= place.height(),
                qPrintable(name));
            QVERIFY2(
                place.left() >= 2 && place.right() <= label->parentWidget()->width() - 3, qPrintable(name));
            for (QWidget *sibling :
                label->parentWidget()->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
                if (sibling != label && qobject_cast<QLineEdit *>(sibling))
                    QVERIFY2(!place.adjusted(-2, 0, 2, 0).intersects(sibling->geometry()), qPrintable(name));
            }
        }
        for (QGroupBox *group : dialog->findChildren<QGroupBox *>()) {
            QStyleOptionGroupBox option;
            option.initFrom(group);
            option.text = group->title();
            option.lineWidth = 1;
            option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
            const QRect title = group->style()->subControlRect(
                QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, group);
            const QRect frame = group->style()->subControlRect(
                QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxFrame, group);
            const QString name = group->title();
            QVERIFY2(title.left() > frame.left() && title.right() < frame.right(), qPrintable(name));
            QVERIFY2(title.top() >= 0 && frame.top() > title.top() && frame.top() < title.bottom(),
                qPrintable(name));
            QVERIFY2(group->fontMetrics().height() <= title.height(), qPrintable(name));
            for (QWidget *child : group->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
                QVERIFY2(child->geometry().top() > title.bottom(), qPrintable(name));
        }
    }

    void showFillsFromConfigAndVersion()
    {
        SDKConfig = TSDKConfig();
        SDKConfig.SavePath = QStringLiteral("/srv/rec");
        SDKConfig.Address = QStringLiteral("127.0.0.72");
        SDKConfig.HttpPort = 8080;
        SDKConfig.VOBPort = 5544;
        SDKConfig.Username = QStringLiteral("teacher");
        SDKConfig.Password = QStringLiteral("pw");
        SDKConfig.UpLoadAddr = QStringLiteral("127.0.0.73");
        SDKConfig.UpLoadPort = 9600;
        TfrmSetting dialog;
        dialog.show();
        const SettingFields f = dialog.Fields();
        QCOMPARE(f.path, QStringLiteral("/srv/rec"));
        QCOMPARE(f.ipAddr, QStringLiteral("127.0.0.72"));
        QCOMPARE(f.httpPort, QStringLiteral("8080"));
        QCOMPARE(f.vobPort, QStringLiteral("5544"));
        QCOMPARE(f.userName, QStringLiteral("teacher"));
        QCOMPARE(f.password, QStringLiteral("pw"));
        QCOMPARE(f.uploadAddr, QStringLiteral("127.0.0.73"));
        QCOMPARE(f.uploadPort, QStringLiteral("9600"));
        QCOMPARE(dialog.lblVersion->text(), QStringLiteral(QUREL_VERSION));
        SDKConfig = TSDKConfig();
    }

    void portEditsTakeDigitsOnly()
    {
        TfrmSetting dialog;
        for (QLineEdit *port : { dialog.edtVobPort, dialog.edtHttpPort, dialog.edtUploadPort }) {
            port->clear();
            QTest::keyClicks(port, QStringLiteral("8a0-8 x0"));
            QCOMPARE(port->text(), QStringLiteral("8080"));
            QTest::keyClick(port, Qt::Key_Backspace);
            QCOMPARE(port->text(), QStringLiteral("808"));
        }
        // The address edits take every key.
        QTest::keyClicks(dialog.edtIPAddr, QStringLiteral("host-a"));
        QCOMPARE(dialog.edtIPAddr->text(), QStringLiteral("host-a"));
    }

    void browseReplacesPathOnlyWhenChosen()
    {
        TfrmSetting dialog;
        dialog.edtPath->setText(QStringLiteral("/old"));
        QStringList prompts;
        SetFileDialogHandler([&](const FileDialogRequest &r) {
            prompts << r.title;
            return r.kind == FileDialogKind::Folder ? QString() : QStringLiteral("wrong");
        });
        dialog.btnView->click();
        QCOMPARE(dialog.edtPath->text(), QStringLiteral("/old"));
        SetFileDialogHandler([&](const FileDialogRequest &r) {
            prompts << r.title;
            return QStringLiteral("/chosen/folder");
        });
        dialog.btnView->click();
        QCOMPARE(dialog.edtPath->text(), QStringLiteral("/chosen/folder"));
        QCOMPARE(prompts, (QStringList { "请选择文件夹", "请选择文件夹" }));
    }

    void realFileDialogs()
    {
        // Without a handler the real dialogs open; look at them and answer them.
        QString seen;
        auto answer = [&seen](const QString &pick) {
            QTimer::singleShot(50, [&seen, pick] {
                auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
                if (!dialog)
                    return;
                seen = dialog->windowTitle() + QLatin1Char('|') + QString::number(dialog->fileMode())
                    + QLatin1Char('|') + dialog->defaultSuffix() + QLatin1Char('|')
                    + dialog->nameFilters().join(QLatin1Char(';'));
                if (pick.isEmpty()) {
                    dialog->reject();
                } else {
                    // As if the user typed the name: a full path without extension.
                    if (auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))) {
                        seen += QLatin1Char('|') + name->text();
                        name->setText(pick);
                    }
                    QMetaObject::invokeMethod(dialog, "accept");
                }
            });
        };
        answer(QString());
        QCOMPARE(ChooseFolder(nullptr, QStringLiteral("请选择文件夹")), QString());
        QVERIFY(seen.startsWith(QStringLiteral("请选择文件夹|%1|").arg(int(QFileDialog::Directory))));

        const QString target = tmp.filePath(QStringLiteral("saved"));
        answer(target);
        QCOMPARE(ChooseSaveFile(nullptr, QStringLiteral("lesson.mp4"), QStringLiteral(".mp4 (*.mp4)"),
                     QStringLiteral("mp4")),
            target + QStringLiteral(".mp4"));
        QVERIFY(seen.endsWith(QStringLiteral("|mp4|.mp4 (*.mp4)|lesson.mp4")));
    }

    void refusalsInOrderWithFocus()
    {
        auto dialog = shownDialog();
        dialog->SetFields({});
        dialog->btnClose->setFocus();

        struct Step
        {
            QString message;
            QLineEdit *focus;
            std::function<void()> fix;
        };
        const QString good = folder(QStringLiteral("order"));
        TfrmSetting &d = *dialog;
        const QList<Step> steps {
            { "请选择保存路径！", d.edtPath, [&] { d.edtPath->setText(good + "/missing"); } },
            { "保存路径无效，请确认！", d.edtPath, [&] { d.edtPath->setText(good); } },
            { "请填写录播机IP地址！", d.edtIPAddr, [&] { d.edtIPAddr->setText("127.0.0.70"); } },
            { "请填写录播机端口号！", d.edtVobPort, [&] { d.edtVobPort->setText("55x"); } },
            { "录播机端口号只能是数字，请重新填写！", d.edtVobPort, [&] { d.edtVobPort->setText("554"); } },
            { "请填写用户名！", d.edtUserName, [&] { d.edtUserName->setText("admin"); } },
            { "请填写密码！", d.edtPassword, [&] { d.edtPassword->setText("密码"); } },
            { TSDKConfig::PasswordRefusedText(), d.edtPassword, [&] { d.edtPassword->setText("pw"); } },
            { "请填写http端口！", d.edtHttpPort, [&] { d.edtHttpPort->setText(" "); } },
            { "http端口只能是数字，请重新填写！", d.edtHttpPort, [&] { d.edtHttpPort->setText("80"); } },
            { "请填写资源平台IP地址！", d.edtUploadAddr, [&] { d.edtUploadAddr->setText("127.0.0.71"); } },
            { "请填写资源平台端口号！", d.edtUploadPort, [&] { d.edtUploadPort->setText("-9500"); } },
            { "资源平台端口号只能是数字，请重新填写！", d.edtUploadPort,
                [&] { d.edtUploadPort->setText("9500"); } },
        };
        for (const Step &step : steps) {
            messages.clear();
            d.btnClose->setFocus();
            d.btnSave->click();
            QCOMPARE(messages, QStringList { step.message });
            QCOMPARE(QApplication::focusWidget(), step.focus);
            QVERIFY(d.isVisible());
            step.fix();
        }
        messages.clear();
        d.btnSave->click();
        QVERIFY(messages.isEmpty());
        QCOMPARE(d.result(), int(QDialog::Accepted));
    }

    void emptyPathChecksNothingElse()
    {
        SettingFields f = validFields(QString());
        f.userName.clear();
        const SettingCheck check = CheckSettingFields(f);
        QVERIFY(!check.accepted);
        QCOMPARE(check.message, QStringLiteral("请选择保存路径！"));
        QCOMPARE(check.focus, SettingField::Path);
        // Blanks alone are no folder either (they would name the root folder).
        QCOMPARE(CheckSettingFields(validFields(QStringLiteral("   "))).message,
            QStringLiteral("请选择保存路径！"));
    }

    void missingFolderCreatesNothing()
    {
        const QString missing = tmp.filePath(QStringLiteral("nowhere"));
        const SettingCheck check = CheckSettingFields(validFields(missing));
        QCOMPARE(check.message, QStringLiteral("保存路径无效，请确认！"));
        QVERIFY(!QFileInfo::exists(missing));
        // A file is no folder.
        QFile file(tmp.filePath(QStringLiteral("plain")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QCOMPARE(CheckSettingFields(validFields(file.fileName())).message,
            QStringLiteral("保存路径无效，请确认！"));
    }

    void imageFolderMadeBeforeLaterRefusal()
    {
        const QString path = folder(QStringLiteral("images"));
        SettingFields f = validFields(path);
        f.userName.clear();
        const SettingCheck check = CheckSettingFields(f);
        QCOMPARE(check.message, QStringLiteral("请填写用户名！"));
        QVERIFY(QFileInfo(path + QStringLiteral("/Image")).isDir());
    }

    void imageFolderThatCannotBeMade()
    {
        const QString path = folder(QStringLiteral("blocked"));
        QFile blocker(path + QStringLiteral("/Image"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        auto dialog = shownDialog();
        dialog->SetFields(validFields(path));
        dialog->edtUserName->setFocus();
        dialog->btnSave->click();
        QCOMPARE(messages,
            QStringList { QStringLiteral("创建保存图片文件夹失败:") + path + QStringLiteral("/Image/") });
        QCOMPARE(QApplication::focusWidget(), dialog->edtUserName);
        QVERIFY(dialog->result() != QDialog::Accepted);
    }

    void storedValuesAreTrimmed()
    {
        const QString path = folder(QStringLiteral("trimmed"));
        SettingFields f = validFields(QStringLiteral("  ") + path + QStringLiteral("  "));
        f.ipAddr = QStringLiteral(" 127.0.0.75 ");
        f.userName = QStringLiteral(" admin ");
        f.password = QStringLiteral("   ");
        f.httpPort = QStringLiteral(" 8080");
        f.uploadPort = QStringLiteral("9600");
        QVERIFY(CheckSettingFields(f).accepted);
        QVERIFY(QFileInfo(path + QStringLiteral("/Image")).isDir());

        TSDKConfig config;
        ApplySettingFields(config, f);
        QCOMPARE(config.SavePath, path);
        QCOMPARE(config.Address, QStringLiteral("127.0.0.75"));
        QCOMPARE(config.Username, QStringLiteral("admin"));
        QCOMPARE(config.Password, QString());
        QCOMPARE(config.HttpPort, 8080);
        QCOMPARE(config.VOBPort, 554);
        QCOMPARE(config.UpLoadAddr, QStringLiteral("127.0.0.71"));
        QCOMPARE(config.UpLoadPort, 9600);
    }

    void closeCancels()
    {
        auto dialog = shownDialog();
        dialog->btnClose->click();
        QCOMPARE(dialog->result(), int(QDialog::Rejected));
        QVERIFY(messages.isEmpty());
    }
};

QTEST_MAIN(TestSettingForm)
#include "test_setting_form.moc"
