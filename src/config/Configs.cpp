#include "Configs.h"

#include "Encrypts.h"
#include "GenStrs.h"
#include "PrivateProfile.h"
#include "ProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <optional>

TSDKConfig SDKConfig;

namespace {
const QString kGroup = QStringLiteral("Series_A");
const QString kIniSection = QStringLiteral("Ver");
const QString kIniAutoRec = QStringLiteral("AutoRec");
const QString kIniName = QStringLiteral("config.ini");
constexpr int kPrefixLength = 32;
constexpr int kRandomClass = 6;
constexpr int kMaxStoredPassword = 255;

std::unique_ptr<QSettings> openStore()
{
    auto store = std::make_unique<QSettings>(
        QSettings::IniFormat, QSettings::UserScope, QStringLiteral("ZEL_Qurel"));
    store->setFallbacksEnabled(false);
    return store;
}

// The registry compares value names without regard to case; so does this store.
class StoreGroup
{
public:
    explicit StoreGroup(QSettings &store)
        : m_store(store)
    {
        m_store.beginGroup(kGroup);
    }
    ~StoreGroup() { m_store.endGroup(); }
    StoreGroup(const StoreGroup &) = delete;
    StoreGroup &operator=(const StoreGroup &) = delete;

    // The stored text under `name`; std::nullopt when missing or not a text.
    std::optional<QString> text(const QString &name) const
    {
        for (const QString &key : m_store.childKeys()) {
            if (key.compare(name, Qt::CaseInsensitive) != 0)
                continue;
            const QVariant value = m_store.value(key);
            if (value.typeId() != QMetaType::QString)
                return std::nullopt;
            return value.toString();
        }
        return std::nullopt;
    }

    QString text(const QString &name, const QString &fallback) const { return text(name).value_or(fallback); }

    int number(const QString &name, int fallback) const
    {
        const auto stored = text(name);
        if (!stored)
            return fallback;
        bool ok = false;
        const int value = stored->trimmed().toInt(&ok, 10);
        return ok ? value : fallback;
    }

    // Writes `value` under `name`, dropping any spelling of the name in another case first.
    void write(const QString &name, const QString &value)
    {
        for (const QString &key : m_store.childKeys()) {
            if (key != name && key.compare(name, Qt::CaseInsensitive) == 0)
                m_store.remove(key);
        }
        m_store.setValue(name, value);
    }

private:
    QSettings &m_store;
};

// The store holds the recorder password, only scrambled: its file is for its user alone.
constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// Opening the key creates it: after the first Load the store's file exists (possibly empty), made
// readable by its user only.
void ensureStoreExists(const QString &fileName)
{
    if (QFileInfo::exists(fileName))
        return;
    QDir().mkpath(QFileInfo(fileName).absolutePath());
    QFile file(fileName);
    if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly, kOwnerOnly))
        file.close();
}

// Gives an existing store file (of an older version, or made by hand) the owner-only mode before it
// is rewritten: the rewrite keeps the mode of the file it replaces.
bool keepStorePrivate(const QString &fileName)
{
    ensureStoreExists(fileName);
    return QFile::setPermissions(fileName, kOwnerOnly);
}

bool readAutoRec(const QString &iniFileName)
{
    const auto stored = Qurel::ReadProfileString(iniFileName, kIniSection, kIniAutoRec);
    if (!stored)
        return true;
    bool ok = false;
    const int value = stored->toInt(&ok, 10);
    return !ok || value != 0;
}

// The longest copy a keeper started again after a crash makes of a lesson it picks up; only read
// (an administrator sets it in config.ini), so it is never written back.
int readMaxLessonMinutes(const QString &iniFileName, int fallback)
{
    const auto stored = Qurel::ReadProfileString(iniFileName, kIniSection, QStringLiteral("MaxLessonMinutes"));
    bool ok = false;
    const int value = stored ? stored->trimmed().toInt(&ok, 10) : 0;
    return ok && value > 0 ? value : fallback;
}

// Set by an administrator, like MaxLessonMinutes; never written back.
QString readKeeperInstance(const QString &iniFileName)
{
    return Qurel::ReadProfileString(iniFileName, kIniSection, QStringLiteral("KeeperInstance")).value_or(QString()).trimmed();
}

Qurel::ConfigSaveResult failure(const QString &text)
{
    return { false, text };
}
} // namespace

QString TSDKConfig::StoreFileName()
{
    return openStore()->fileName();
}

QString TSDKConfig::IniFileName()
{
    return Qurel::WorkFilePath(kIniName);
}

bool TSDKConfig::CanStorePassword(const QString &password)
{
    if (password.size() > kMaxStoredPassword)
        return false;
    for (const QChar c : password) {
        if (c.unicode() >= 0x100)
            return false;
    }
    return true;
}

QString TSDKConfig::PasswordRefusedText()
{
    return QStringLiteral("密码最多255个字符，且只能包含西文字符，请重新输入！");
}

QString TSDKConfig::EncodePassword(const QString &password)
{
    if (password.isEmpty())
        return QString();
    return Qurel::GenRandomString(kPrefixLength, kRandomClass) + Qurel::EncryptText(password);
}

QString TSDKConfig::DecodePassword(const QString &stored)
{
    if (stored.size() <= kPrefixLength)
        return QString();
    return Qurel::TryDecryptText(stored.mid(kPrefixLength)).value_or(QString());
}

void TSDKConfig::Load()
{
    auto store = openStore();
    ensureStoreExists(store->fileName());
    LoadFrom(*store, Qurel::ReadFilePath(kIniName));
}

void TSDKConfig::LoadFile(const QString &fileName)
{
    QSettings store(fileName, QSettings::IniFormat);
    LoadFrom(store, fileName);
}

void TSDKConfig::LoadFrom(QSettings &store, const QString &iniFileName)
{
    const TSDKConfig defaults;
    {
        const StoreGroup group(store);
        Address = group.text(QStringLiteral("Address"), defaults.Address);
        HttpPort = group.number(QStringLiteral("HttpPort"), defaults.HttpPort);
        VOBPort = group.number(QStringLiteral("VOBPort"), defaults.VOBPort);
        Username = group.text(QStringLiteral("UserName"), defaults.Username);
        Password = DecodePassword(group.text(QStringLiteral("Password"), QString()));
        UpLoadAddr = group.text(QStringLiteral("UploadAddr"), defaults.UpLoadAddr);
        UpLoadPort = group.number(QStringLiteral("UploadPort"), defaults.UpLoadPort);
        SavePath = group.text(QStringLiteral("SavePath"), defaults.SavePath);
        TitleTime = group.number(QStringLiteral("TitleTime"), defaults.TitleTime);
        CreditTime = group.number(QStringLiteral("CreditTime"), defaults.CreditTime);
    }
    AutoRec = readAutoRec(iniFileName);
    MaxLessonMinutes = readMaxLessonMinutes(iniFileName, defaults.MaxLessonMinutes);
    KeeperInstance = readKeeperInstance(iniFileName);
}

Qurel::ConfigSaveResult TSDKConfig::Save() const
{
    if (!CanStorePassword(Password))
        return failure(PasswordRefusedText());
    auto store = openStore();
    {
        StoreGroup group(*store);
        group.write(QStringLiteral("Address"), Address);
        group.write(QStringLiteral("Username"), Username);
        group.write(QStringLiteral("Password"), EncodePassword(Password));
        group.write(QStringLiteral("SavePath"), SavePath);
        group.write(QStringLiteral("UploadAddr"), UpLoadAddr);
        group.write(QStringLiteral("HttpPort"), QString::number(HttpPort));
        group.write(QStringLiteral("VOBPort"), QString::number(VOBPort));
        group.write(QStringLiteral("UploadPort"), QString::number(UpLoadPort));
        group.write(QStringLiteral("TitleTime"), QString::number(TitleTime));
        group.write(QStringLiteral("CreditTime"), QString::number(CreditTime));
    }
    const auto failedAt = [&](const QString &file) {
        return failure(QStringLiteral("保存设置失败：%1").arg(QDir::toNativeSeparators(file)));
    };
    if (!keepStorePrivate(store->fileName()))
        return failedAt(store->fileName());
    store->sync();
    if (store->status() != QSettings::NoError || !keepStorePrivate(store->fileName()))
        return failedAt(store->fileName());
    const QString autoRec = AutoRec ? QStringLiteral("1") : QStringLiteral("0");
    const QString ini = Qurel::EditableFilePath(kIniName);
    if (!Qurel::WriteProfileString(ini, kIniSection, kIniAutoRec, autoRec))
        return failedAt(ini);
    return {};
}
