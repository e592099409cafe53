#include "SettingForm.h"

#include "Configs.h"
#include "FileDialogs.h"
#include "MessageBoxes.h"
#include "SkinPainting.h"
#include "Utils.h"

#include <QCoreApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

namespace {
constexpr int kWidth = 366;
constexpr int kHeight = 277;

QFont songFont(int pixelSize)
{
    QFont font;
    font.setFamilies(
        { QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("Noto Sans CJK SC") });
    font.setPixelSize(pixelSize);
    return font;
}

// The Chinese fallback font runs wider and taller than 宋体: a text that would
// not fit its place at the dialog's size is set a pixel or two smaller.
QFont fittingFont(QFont font, const QString &text, QSize place)
{
    constexpr int kSmallest = 11;
    for (; font.pixelSize() > kSmallest; font.setPixelSize(font.pixelSize() - 1)) {
        const QFontMetrics metrics(font);
        if (metrics.horizontalAdvance(text) <= place.width() && metrics.height() <= place.height())
            break;
    }
    return font;
}

// Keeps a caption clear of the edit it names and centred on it.
void placeBeside(QLabel *label, const QRect &edit)
{
    constexpr int kGap = 4;
    label->setFont(
        fittingFont(label->font(), label->text(), { edit.left() - kGap - label->x(), edit.height() }));
    label->adjustSize();
    label->move(label->x(), edit.center().y() + 1 - label->height() / 2);
}

// The title sits on the frame's top line, inside the group's width and above
// everything the group holds (whose tops start 19 pixels down).
void styleGroup(QGroupBox *group)
{
    constexpr int kTitleRoom = 18;
    const QFont title = fittingFont(group->font(), group->title(), { group->width() - 24, kTitleRoom });
    const int line = QFontMetrics(title).height() / 2;
    group->setStyleSheet(QStringLiteral("QGroupBox { font-size: %1px; border: 1px solid palette(mid);"
                                        " border-radius: 2px; margin-top: %2px; }"
                                        "QGroupBox::title { subcontrol-origin: margin; left: 8px;"
                                        " padding: 0px 2px; }")
                             .arg(title.pixelSize())
                             .arg(line));
}
} // namespace

TfrmSetting::TfrmSetting(QWidget *owner)
    : QDialog(owner,
        Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
            | Qt::CustomizeWindowHint)
{
    setWindowTitle(QStringLiteral("设置"));
    setFont(songFont(14));
    setFixedSize(kWidth, kHeight);
    BuildLayout();
}

QLabel *TfrmSetting::AddLabel(QWidget *parent, const QString &text, QPoint at)
{
    auto *label = new QLabel(text, parent);
    label->move(at);
    label->adjustSize();
    return label;
}

QLineEdit *TfrmSetting::AddEdit(QWidget *group, const QString &label, QPoint labelAt, QRect geometry)
{
    placeBeside(AddLabel(group, label, labelAt), geometry);
    auto *edit = new QLineEdit(group);
    edit->setGeometry(geometry);
    return edit;
}

void TfrmSetting::BuildLayout()
{
    pnlSpacer = new QWidget(this);
    pnlSpacer->setGeometry(0, 0, kWidth, 14);

    grpSavePath = new QGroupBox(QStringLiteral("视频文件保存路径"), this);
    grpSavePath->setGeometry(0, 14, kWidth, 61);
    edtPath = new QLineEdit(grpSavePath);
    edtPath->setGeometry(12, 22, 295, 22);
    btnView = new QPushButton(QStringLiteral("浏览"), grpSavePath);
    btnView->setGeometry(313, 20, 38, 25);

    gpbMachineSet = new QGroupBox(QStringLiteral("录播机设置"), this);
    gpbMachineSet->setGeometry(0, 75, kWidth, 118);
    edtIPAddr = AddEdit(gpbMachineSet, QStringLiteral("IP地址"), { 19, 23 }, { 61, 19, 116, 22 });
    edtVobPort = AddEdit(gpbMachineSet, QStringLiteral("端口号"), { 192, 23 }, { 235, 19, 116, 22 });
    edtUserName = AddEdit(gpbMachineSet, QStringLiteral("用户名"), { 19, 58 }, { 61, 54, 116, 22 });
    edtPassword = AddEdit(gpbMachineSet, QStringLiteral("密  码"), { 192, 58 }, { 235, 54, 116, 22 });
    edtHttpPort = AddEdit(gpbMachineSet, QStringLiteral("http端口"), { 5, 94 }, { 61, 90, 116, 22 });
    edtPassword->setEchoMode(QLineEdit::Password);
    edtPassword->setStyleSheet(QStringLiteral("lineedit-password-character: 42")); // "*"

    GroupBox1 = new QGroupBox(QStringLiteral("资源平台设置"), this);
    GroupBox1->setGeometry(0, 193, kWidth, 48);
    edtUploadAddr = AddEdit(GroupBox1, QStringLiteral("IP地址"), { 19, 23 }, { 61, 19, 116, 22 });
    edtUploadPort = AddEdit(GroupBox1, QStringLiteral("端口号"), { 192, 23 }, { 235, 19, 116, 22 });

    btnSave = new QPushButton(QStringLiteral("保存"), this);
    btnSave->setGeometry(50, 247, 75, 25);
    btnClose = new QPushButton(QStringLiteral("关闭"), this);
    btnClose->setGeometry(138, 247, 75, 25);
    btnSave->setAutoDefault(false);
    btnClose->setAutoDefault(false);

    lblVersionCaption = AddLabel(this, QStringLiteral("版本："), { 251, 256 });
    lblVersion = AddLabel(this, QString(), { 291, 256 });
    for (QLabel *label : { lblVersionCaption, lblVersion }) {
        label->setFont(songFont(12));
        Qurel::SetColour(label, QPalette::WindowText, Qt::gray);
        label->adjustSize();
    }

    for (QGroupBox *group : { grpSavePath, gpbMachineSet, GroupBox1 })
        styleGroup(group);

    for (QLineEdit *port : { edtVobPort, edtHttpPort, edtUploadPort })
        port->installEventFilter(this);

    setTabOrder(btnSave, btnClose);
    setTabOrder(btnClose, edtIPAddr);
    setTabOrder(edtIPAddr, edtVobPort);
    setTabOrder(edtVobPort, edtUserName);
    setTabOrder(edtUserName, edtPassword);
    setTabOrder(edtPassword, edtHttpPort);
    setTabOrder(edtHttpPort, edtPath);
    setTabOrder(edtPath, btnView);
    setTabOrder(btnView, edtUploadAddr);
    setTabOrder(edtUploadAddr, edtUploadPort);

    connect(btnView, &QPushButton::clicked, this, &TfrmSetting::btnViewClick);
    connect(btnSave, &QPushButton::clicked, this, &TfrmSetting::btnSaveClick);
    connect(btnClose, &QPushButton::clicked, this, &TfrmSetting::btnCloseClick);
}

void TfrmSetting::showEvent(QShowEvent *event)
{
    if (!event->spontaneous()) {
        FormShow();
        if (QScreen *screen = this->screen())
            move(screen->availableGeometry().center() - rect().center());
    }
    QDialog::showEvent(event);
}

void TfrmSetting::FormShow()
{
    SetFields(Qurel::FieldsFromConfig(SDKConfig));
    lblVersion->setText(Qurel::GetFileVersionStr(QCoreApplication::applicationFilePath()));
    lblVersion->adjustSize();
}

Qurel::SettingFields TfrmSetting::Fields() const
{
    Qurel::SettingFields f;
    f.path = edtPath->text();
    f.ipAddr = edtIPAddr->text();
    f.vobPort = edtVobPort->text();
    f.userName = edtUserName->text();
    f.password = edtPassword->text();
    f.httpPort = edtHttpPort->text();
    f.uploadAddr = edtUploadAddr->text();
    f.uploadPort = edtUploadPort->text();
    return f;
}

void TfrmSetting::SetFields(const Qurel::SettingFields &f)
{
    edtPath->setText(f.path);
    edtIPAddr->setText(f.ipAddr);
    edtVobPort->setText(f.vobPort);
    edtUserName->setText(f.userName);
    edtPassword->setText(f.password);
    edtHttpPort->setText(f.httpPort);
    edtUploadAddr->setText(f.uploadAddr);
    edtUploadPort->setText(f.uploadPort);
}

QLineEdit *TfrmSetting::EditFor(Qurel::SettingField field) const
{
    using F = Qurel::SettingField;
    switch (field) {
    case F::Path:
        return edtPath;
    case F::IPAddr:
        return edtIPAddr;
    case F::VobPort:
        return edtVobPort;
    case F::UserName:
        return edtUserName;
    case F::Password:
        return edtPassword;
    case F::HttpPort:
        return edtHttpPort;
    case F::UploadAddr:
        return edtUploadAddr;
    case F::UploadPort:
        return edtUploadPort;
    case F::None:
        break;
    }
    return nullptr;
}

void TfrmSetting::btnViewClick()
{
    const QString folder = Qurel::ChooseFolder(this, QStringLiteral("请选择文件夹"));
    if (!folder.isEmpty())
        edtPath->setText(folder);
}

void TfrmSetting::btnSaveClick()
{
    const Qurel::SettingCheck check = Qurel::CheckSettingFields(Fields());
    if (check.accepted) {
        accept();
        return;
    }
    Qurel::ShowMsg(this, check.message);
    if (QLineEdit *edit = EditFor(check.focus))
        edit->setFocus();
}

void TfrmSetting::btnCloseClick()
{
    reject();
}

bool TfrmSetting::edtSecondKeyPress(const QKeyEvent &event) const
{
    return Qurel::IsPortKeyAccepted(event.text());
}

bool TfrmSetting::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && !edtSecondKeyPress(static_cast<const QKeyEvent &>(*event)))
        return true;
    return QDialog::eventFilter(watched, event);
}
