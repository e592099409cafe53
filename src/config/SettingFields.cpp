#include "SettingFields.h"

#include "Configs.h"
#include "RecordingsStore.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <functional>

namespace Qurel {

namespace {
    // An empty port is refused by its own message; this one is for a text the
    // typing filter would not have let through (pasted letters, signs, blanks).
    SettingCheck checkPort(
        const QString &text, SettingField field, const QString &emptyMessage, const QString &badMessage)
    {
        if (text.isEmpty())
            return SettingCheck::Refuse(field, emptyMessage);
        if (!IsPortText(text))
            return SettingCheck::Refuse(field, badMessage);
        return SettingCheck::Accept();
    }

    SettingCheck checkFilled(const QString &text, SettingField field, const QString &emptyMessage)
    {
        return text.isEmpty() ? SettingCheck::Refuse(field, emptyMessage) : SettingCheck::Accept();
    }

    SettingCheck checkFolder(const QString &path)
    {
        // A path of blanks alone names no folder: it would otherwise become the
        // root folder after trimming.
        if (path.trimmed().isEmpty())
            return SettingCheck::Refuse(SettingField::Path, QStringLiteral("请选择保存路径！"));
        const QString folder = SettingFolder(path);
        if (!QFileInfo(folder).isDir())
            return SettingCheck::Refuse(SettingField::Path, QStringLiteral("保存路径无效，请确认！"));
        const QString imageFolder = QString::fromLatin1(kImageFolderName);
        const QString images = folder + imageFolder + QDir::separator();
        if (!QFileInfo(images).isDir() && !QDir(folder).mkdir(imageFolder))
            return SettingCheck::Refuse(
                SettingField::None, QStringLiteral("创建保存图片文件夹失败:") + images);
        return SettingCheck::Accept();
    }
} // namespace

QString SettingFolder(const QString &path)
{
    QString folder = path.trimmed();
    if (!folder.endsWith(QDir::separator()) && !folder.endsWith(QLatin1Char('/')))
        folder += QDir::separator();
    return folder;
}

bool IsPortText(const QString &text)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    const QString trimmed = text.trimmed();
    bool fits = false;
    trimmed.toInt(&fits);
    return fits && digits.match(trimmed).hasMatch();
}

bool IsPortKeyAccepted(const QString &typed)
{
    if (typed.isEmpty())
        return true;
    const QChar c = typed.at(0);
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c.category() == QChar::Other_Control;
}

SettingFields FieldsFromConfig(const TSDKConfig &config)
{
    SettingFields f;
    f.path = config.SavePath;
    f.ipAddr = config.Address;
    f.httpPort = QString::number(config.HttpPort);
    f.userName = config.Username;
    f.password = config.Password;
    f.vobPort = QString::number(config.VOBPort);
    f.uploadAddr = config.UpLoadAddr;
    f.uploadPort = QString::number(config.UpLoadPort);
    return f;
}

void ApplySettingFields(TSDKConfig &config, const SettingFields &f)
{
    config.SavePath = f.path.trimmed();
    config.Address = f.ipAddr.trimmed();
    config.HttpPort = f.httpPort.trimmed().toInt();
    config.Username = f.userName.trimmed();
    config.Password = f.password.trimmed();
    config.VOBPort = f.vobPort.trimmed().toInt();
    config.UpLoadAddr = f.uploadAddr.trimmed();
    config.UpLoadPort = f.uploadPort.toInt(); // toInt itself skips surrounding blanks
}

bool ChangesRecorder(const TSDKConfig &config, const SettingFields &f)
{
    TSDKConfig applied = config;
    ApplySettingFields(applied, f);
    return applied.Address != config.Address || applied.HttpPort != config.HttpPort
        || applied.Username != config.Username || applied.Password != config.Password;
}

SettingCheck CheckSettingFields(const SettingFields &f)
{
    // Each step in the dialog's order; the first refusal wins. The later
    // fields are tested untrimmed: a text of blanks counts as filled.
    using F = SettingField;
    const std::function<SettingCheck()> steps[] = {
        [&] { return checkFolder(f.path); },
        [&] { return checkFilled(f.ipAddr, F::IPAddr, QStringLiteral("请填写录播机IP地址！")); },
        [&] {
            return checkPort(f.vobPort, F::VobPort, QStringLiteral("请填写录播机端口号！"),
                QStringLiteral("录播机端口号只能是数字，请重新填写！"));
        },
        [&] { return checkFilled(f.userName, F::UserName, QStringLiteral("请填写用户名！")); },
        [&] { return checkFilled(f.password, F::Password, QStringLiteral("请填写密码！")); },
        [&] {
            // Refused here rather than lost at saving: the stored form cannot carry it.
            return TSDKConfig::CanStorePassword(f.password.trimmed())
                ? SettingCheck::Accept()
                : SettingCheck::Refuse(F::Password, TSDKConfig::PasswordRefusedText());
        },
        [&] {
            return checkPort(f.httpPort, F::HttpPort, QStringLiteral("请填写http端口！"),
                QStringLiteral("http端口只能是数字，请重新填写！"));
        },
        [&] { return checkFilled(f.uploadAddr, F::UploadAddr, QStringLiteral("请填写资源平台IP地址！")); },
        [&] {
            return checkPort(f.uploadPort, F::UploadPort, QStringLiteral("请填写资源平台端口号！"),
                QStringLiteral("资源平台端口号只能是数字，请重新填写！"));
        },
    };
    for (const auto &step : steps) {
        const SettingCheck check = step();
        if (!check.accepted)
            return check;
    }
    return SettingCheck::Accept();
}

} // namespace Qurel
