#pragma once
// TSDKConfig: every setting the client needs, kept in the per-user store "ZEL_Qurel"
// (group Series_A) and in config.ini beside the executable (the start-up mode; beside a read-only
// program folder the user's own config.ini in the per-user data folder comes first).

#include <QString>

class QSettings;

namespace Qurel {
// Result of TSDKConfig::Save: on failure `error` is a message the settings dialog can show.
struct ConfigSaveResult
{
    bool ok = true;
    QString error;
};
} // namespace Qurel

class TSDKConfig
{
public:
    QString Address = QStringLiteral("192.168.2.26");
    int HttpPort = 80;
    int VOBPort = 554;
    QString UpLoadAddr = QStringLiteral("192.168.2.25");
    int UpLoadPort = 9500;
    QString Username = QStringLiteral("admin");
    QString Password;
    QString SavePath;
    int TitleTime = 5;
    int CreditTime = 5;
    bool AutoRec = true;
    int MaxLessonMinutes = 240; // config.ini [Ver]: longest copy of a lesson picked up after a crash
    // config.ini [Ver] KeeperInstance: the system keeper (qureld@NAME) whose lessons the window
    // shows; empty: the user's own keeper, which the window starts when none runs.
    QString KeeperInstance;

    // Fills every field from the stores; anything missing or unreadable gives the default.
    void Load();
    // The same from one INI file that holds the store's group [Series_A] and config.ini's section
    // [Ver] (a system keeper's settings file). The file is only read.
    void LoadFile(const QString &fileName);
    // Writes every field to the stores. A password the stored form cannot carry is refused
    // before anything is written (see CanStorePassword).
    Qurel::ConfigSaveResult Save() const;

    // The stored form keeps a password only when it has at most 255 characters, all below U+0100.
    static bool CanStorePassword(const QString &password);
    // The message shown when CanStorePassword is false.
    static QString PasswordRefusedText();

    // The per-user store's file and the config.ini that Save writes (for the settings dialog's
    // messages and tests).
    static QString StoreFileName();
    static QString IniFileName();

    // Stored form of a password: 32 random characters, then the scrambled password in hexadecimal.
    static QString EncodePassword(const QString &password);
    // Inverse of EncodePassword; a stored text of 32 characters or fewer, or one that is not
    // hexadecimal after the prefix, gives an empty password.
    static QString DecodePassword(const QString &stored);

private:
    void LoadFrom(QSettings &store, const QString &iniFileName);
};

// The one configuration object, loaded at start-up before any window is created.
extern TSDKConfig SDKConfig;
