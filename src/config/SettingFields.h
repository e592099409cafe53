#pragma once
// The texts of the settings dialog as a value, and the checks the dialog runs
// before it accepts them. No widgets here, so the rules are testable alone.

#include <QString>

class TSDKConfig;

namespace Qurel {

// The edit texts exactly as the user left them (untrimmed).
struct SettingFields
{
    QString path;
    QString ipAddr;
    QString vobPort;
    QString userName;
    QString password;
    QString httpPort;
    QString uploadAddr;
    QString uploadPort;
};

// The edit that gets the keyboard focus after a refusal.
enum class SettingField { None, Path, IPAddr, VobPort, UserName, Password, HttpPort, UploadAddr, UploadPort };

struct SettingCheck
{
    bool accepted = true;
    SettingField focus = SettingField::None; // None: the focus stays where it is
    QString message; // shown to the user when refused

    static SettingCheck Accept() { return {}; }
    static SettingCheck Refuse(SettingField field, const QString &text) { return { false, field, text }; }
};

// Whether applying f would move the client to another recorder or log in as another user.
bool ChangesRecorder(const TSDKConfig &config, const SettingFields &f);

// Checks the fields in the dialog's order and stops at the first refusal.
// Side effect, kept on purpose: a valid folder gets its "Image/" subfolder
// before the remaining fields are looked at.
SettingCheck CheckSettingFields(const SettingFields &fields);

// What the dialog shows for a configuration.
SettingFields FieldsFromConfig(const TSDKConfig &config);

// Copies accepted fields into the configuration: texts trimmed of blanks,
// ports read as whole numbers. The opener saves and compares afterwards.
void ApplySettingFields(TSDKConfig &config, const SettingFields &fields);

// The recordings folder as the dialog checks it: trimmed, with a trailing separator.
QString SettingFolder(const QString &path);

// True when the text, trimmed of blanks, is a whole number of decimal digits
// that fits a port field.
bool IsPortText(const QString &text);

// The dialog's filter for the port edits: a typed character is kept when it is
// a digit or a control character (backspace and editing shortcuts).
bool IsPortKeyAccepted(const QString &typed);

} // namespace Qurel
