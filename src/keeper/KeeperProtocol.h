#pragma once
// The wire between a lesson keeper and its views (the window, qurelctl): one JSON object per line
// over a local socket, every object carrying the protocol version "v".
//
// A view sends commands:
//   {"v":1,"cmd":"attach","window":true}   receive the keeper's events from now on; the answer is
//                                           a "snapshot" event. "window" counts the view as an
//                                           attached window in the status answer.
//   {"v":1,"cmd":"start"} / "stop"          the window's manual start and stop
//   {"v":1,"cmd":"hotkey","key":116}        the recorder's start (F5, 0x74) and stop (F6, 0x75) keys
//   {"v":1,"cmd":"reload"}                  the settings were saved: read them again
//   {"v":1,"cmd":"settings","settings":{...}}
//                                           keep lessons by these settings (the window's own; a
//                                           system instance refuses them: it has its file); the
//                                           answer is a "snapshot" event
//   {"v":1,"cmd":"finish"}                  finish the copy and end the keeper
//   {"v":1,"cmd":"status"} / "ping"         answered with a "status" or "pong" event
// The keeper sends events:
//   {"v":1,"event":"snapshot","snapshot":{...},"keeper":"window","recordings":"/r"}
//                                                     whenever a part of it changes (attached views);
//                                                     "keeper" says who started it (KeeperRole),
//                                                     "recordings" is a system instance's folder
//   {"v":1,"event":"message","text":"..."}             a failure the user must see (attached views)
//   {"v":1,"event":"lessonFinished","file":"/x.mp4"}   a lesson got its files (attached views)
//   {"v":1,"event":"finished"}                         the keeper has finished and ends (attached views)
//   {"v":1,"event":"pong"}
//   {"v":1,"event":"status","line":"link=... window=attached","windows":1,"snapshot":{...}}
//   {"v":1,"event":"error","text":"..."}               a line the keeper refused, and why
// Unknown keys are ignored, so either side may grow fields within a version. A line that is not
// such an object, names no known command or event, carries a field of the wrong type or another
// version is refused; a line longer than kMaxKeeperLine ends the connection.

#include "KeeperTypes.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>

class QIODevice;
class QJsonObject;

namespace Qurel {

constexpr int kKeeperProtocolVersion = 1;
// Longest line either side accepts (a snapshot with a few long paths needs a few KiB).
constexpr int kMaxKeeperLine = 256 * 1024;

// Who started a keeper, which decides what its windows may do with it: a keeper a window started
// ("window") takes the window's settings and ends when that window closes; one the user started
// ("user") takes the window's settings and goes on when windows close; a system instance
// ("service") keeps its own settings and goes on.
enum class KeeperRole { Window, User, Service };

struct KeeperCommand
{
    enum class Kind { Attach, Start, Stop, HotKey, Reload, Finish, Status, Ping, Settings };

    KeeperCommand(Kind kind = Kind::Ping, int virtualKey = 0, bool window = false)
        : kind(kind)
        , virtualKey(virtualKey)
        , window(window)
    {
    }

    Kind kind = Kind::Ping;
    int virtualKey = 0; // HotKey
    bool window = false; // Attach: the view is a window
    KeeperSettings settings; // Settings

    bool operator==(const KeeperCommand &other) const
    {
        return kind == other.kind && virtualKey == other.virtualKey && window == other.window
            && settings == other.settings;
    }
};

struct KeeperEvent
{
    enum class Kind { Snapshot, Message, LessonFinished, Finished, Pong, Status, Error };

    KeeperEvent(Kind kind = Kind::Pong, KeeperSnapshot snapshot = {}, QString text = {}, int windows = 0)
        : kind(kind)
        , snapshot(std::move(snapshot))
        , text(std::move(text))
        , windows(windows)
    {
    }

    Kind kind = Kind::Pong;
    KeeperSnapshot snapshot; // Snapshot, Status
    QString text; // Message, Error: the text; LessonFinished: the MP4; Status: the status line
    int windows = 0; // Status: windows attached to the keeper
    KeeperRole role = KeeperRole::User; // Snapshot: who started the keeper
    QString recordings; // Snapshot: a system instance's recordings folder, else empty
};

// One line (ending in '\n') for a command or an event.
QByteArray EncodeKeeperCommand(const KeeperCommand &command);
QByteArray EncodeKeeperEvent(const KeeperEvent &event);
// A line (with or without its '\n') read back; std::nullopt with `error` saying why it was refused.
std::optional<KeeperCommand> DecodeKeeperCommand(const QByteArray &line, QString *error);
std::optional<KeeperEvent> DecodeKeeperEvent(const QByteArray &line, QString *error);

QJsonObject SnapshotToJson(const KeeperSnapshot &snapshot);
QJsonObject SettingsToJson(const KeeperSettings &settings);
// Settings as a view sent them; a field of the wrong type refuses them all.
std::optional<KeeperSettings> SettingsFromJson(const QJsonObject &object, QString *error);
std::optional<KeeperSnapshot> SnapshotFromJson(const QJsonObject &object, QString *error);

// The answer to `qurelctl status`: the client's status line of the snapshot at `now`, then
// "window=attached" or "window=none".
QString KeeperStatusLine(const KeeperSnapshot &snapshot, int windows, const QDateTime &now);

// Splits what a socket delivers into lines.
enum class KeeperLineRead { Line, NeedMore, TooLong };
// The next whole line of `device` without its '\n' into `line`; TooLong when a line (or what has
// arrived of it) exceeds kMaxKeeperLine, after which the connection cannot be read any further.
KeeperLineRead ReadKeeperLine(QIODevice &device, QByteArray *line);
// Hands each whole line that has arrived to `onLine` until none is left or `onLine` returns false
// (it is done with the connection). False when a line is too long: the connection is unusable.
bool ReadKeeperLines(QIODevice &device, const std::function<bool(const QByteArray &)> &onLine);

} // namespace Qurel
