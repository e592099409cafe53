#include "KeeperProtocol.h"

#include "ClientStatus.h"

#include <QIODevice>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <limits>
#include <utility>

namespace Qurel {

namespace {
    const QString kVersionKey = QStringLiteral("v");
    const QString kCommandKey = QStringLiteral("cmd");
    const QString kEventKey = QStringLiteral("event");
    const QString kSnapshotKey = QStringLiteral("snapshot");

    template <typename Kind> struct Named
    {
        Kind kind;
        const char *name;
    };

    constexpr Named<KeeperCommand::Kind> kCommandNames[] = {
        { KeeperCommand::Kind::Attach, "attach" },
        { KeeperCommand::Kind::Start, "start" },
        { KeeperCommand::Kind::Stop, "stop" },
        { KeeperCommand::Kind::HotKey, "hotkey" },
        { KeeperCommand::Kind::Reload, "reload" },
        { KeeperCommand::Kind::Finish, "finish" },
        { KeeperCommand::Kind::Status, "status" },
        { KeeperCommand::Kind::Ping, "ping" },
        { KeeperCommand::Kind::Settings, "settings" },
    };

    constexpr Named<KeeperRole> kRoleNames[] = {
        { KeeperRole::Window, "window" },
        { KeeperRole::User, "user" },
        { KeeperRole::Service, "service" },
    };

    constexpr Named<KeeperEvent::Kind> kEventNames[] = {
        { KeeperEvent::Kind::Snapshot, "snapshot" },
        { KeeperEvent::Kind::Message, "message" },
        { KeeperEvent::Kind::LessonFinished, "lessonFinished" },
        { KeeperEvent::Kind::Finished, "finished" },
        { KeeperEvent::Kind::Pong, "pong" },
        { KeeperEvent::Kind::Status, "status" },
        { KeeperEvent::Kind::Error, "error" },
    };

    template <typename Kind, std::size_t N> QString nameOf(const Named<Kind> (&names)[N], Kind kind)
    {
        for (const auto &entry : names) {
            if (entry.kind == kind)
                return QString::fromLatin1(entry.name);
        }
        return QString();
    }

    template <typename Kind, std::size_t N>
    std::optional<Kind> kindNamed(const Named<Kind> (&names)[N], const QString &name)
    {
        for (const auto &entry : names) {
            if (name == QLatin1String(entry.name))
                return entry.kind;
        }
        return std::nullopt;
    }

    // Reads the fields of one object; a field of the wrong type spoils the whole object. Missing
    // fields give their fallback, so a peer may leave out what it has nothing to say about.
    class Fields
    {
    public:
        explicit Fields(const QJsonObject &object)
            : m_object(object)
        {
        }

        QString text(const QString &key, const QString &fallback = QString())
        {
            const QJsonValue value = m_object.value(key);
            if (value.isUndefined())
                return fallback;
            if (!value.isString())
                return wrong(key, fallback);
            return value.toString();
        }

        bool flag(const QString &key, bool fallback)
        {
            const QJsonValue value = m_object.value(key);
            if (value.isUndefined())
                return fallback;
            if (!value.isBool())
                return wrong(key, fallback);
            return value.toBool();
        }

        int integer(const QString &key, int fallback)
        {
            const QJsonValue value = m_object.value(key);
            if (value.isUndefined())
                return fallback;
            const double number = value.toDouble(std::nan(""));
            if (!value.isDouble() || std::floor(number) != number || number < std::numeric_limits<int>::min()
                || number > std::numeric_limits<int>::max())
                return wrong(key, fallback);
            return int(number);
        }

        QStringList texts(const QString &key)
        {
            const QJsonValue value = m_object.value(key);
            if (value.isUndefined())
                return {};
            if (!value.isArray())
                return wrong(key, QStringList());
            QStringList out;
            for (const QJsonValue item : value.toArray()) {
                if (!item.isString())
                    return wrong(key, QStringList());
                out << item.toString();
            }
            return out;
        }

        // An ISO 8601 time; missing or null: an invalid time.
        QDateTime time(const QString &key)
        {
            const QJsonValue value = m_object.value(key);
            if (value.isUndefined() || value.isNull())
                return QDateTime();
            const QDateTime time = QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
            if (!value.isString() || !time.isValid())
                return wrong(key, QDateTime());
            return time.toLocalTime();
        }

        QJsonObject object(const QString &key)
        {
            const QJsonValue value = m_object.value(key);
            if (!value.isObject())
                return wrong(key, QJsonObject());
            return value.toObject();
        }

        bool ok() const { return m_error.isEmpty(); }
        QString error() const { return m_error; }

    private:
        template <typename T> T wrong(const QString &key, T fallback)
        {
            if (m_error.isEmpty())
                m_error = QStringLiteral("field \"%1\" has the wrong type").arg(key);
            return fallback;
        }

        const QJsonObject &m_object;
        QString m_error;
    };

    template <typename T> std::optional<T> refuse(QString *error, const QString &why)
    {
        if (error)
            *error = why;
        return std::nullopt;
    }

    QByteArray line(QJsonObject object)
    {
        object.insert(kVersionKey, kKeeperProtocolVersion);
        return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
    }

    // The object of a line and the name under `typeKey`, once the version is checked.
    std::optional<std::pair<QJsonObject, QString>> open(
        const QByteArray &bytes, const QString &typeKey, QString *error)
    {
        using Opened = std::pair<QJsonObject, QString>;
        if (bytes.size() > kMaxKeeperLine + 1)
            return refuse<Opened>(error, QStringLiteral("line too long"));
        QJsonParseError parseError;
        const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
        if (parseError.error != QJsonParseError::NoError)
            return refuse<Opened>(error, QStringLiteral("not JSON: %1").arg(parseError.errorString()));
        if (!document.isObject())
            return refuse<Opened>(error, QStringLiteral("not a JSON object"));
        const QJsonObject object = document.object();
        Fields fields(object);
        const int version = fields.integer(kVersionKey, -1);
        if (!fields.ok() || version < 0)
            return refuse<Opened>(error, QStringLiteral("no protocol version"));
        if (version != kKeeperProtocolVersion)
            return refuse<Opened>(error,
                QStringLiteral("protocol version %1 is not spoken here (this side speaks %2)")
                    .arg(version)
                    .arg(kKeeperProtocolVersion));
        const QString type = fields.text(typeKey);
        if (!fields.ok() || type.isEmpty())
            return refuse<Opened>(error, QStringLiteral("no \"%1\"").arg(typeKey));
        return Opened { object, type };
    }

    const QString kSettingsKey = QStringLiteral("settings");
    const QString kKeeperKey = QStringLiteral("keeper");
    const QString kRecordingsKey = QStringLiteral("recordings");

    std::optional<KeeperSnapshot> snapshotIn(Fields &fields, QString *error)
    {
        const QJsonObject object = fields.object(kSnapshotKey);
        if (!fields.ok())
            return refuse<KeeperSnapshot>(error, fields.error());
        return SnapshotFromJson(object, error);
    }
} // namespace

QJsonObject SnapshotToJson(const KeeperSnapshot &s)
{
    QJsonObject object {
        { QStringLiteral("link"), s.link },
        { QStringLiteral("linkText"), s.linkText },
        { QStringLiteral("linkTextVisible"), s.linkTextVisible },
        { QStringLiteral("state"), s.state },
        { QStringLiteral("title"), s.title },
        { QStringLiteral("file"), s.file },
        { QStringLiteral("warning"), s.warning },
        { QStringLiteral("retry"), s.retry },
        { QStringLiteral("unfinishedFiles"), QJsonArray::fromStringList(s.unfinishedFiles) },
        { QStringLiteral("settled"), s.settled },
    };
    // In UTC, so that the reader's own time zone gives the same moment back.
    if (s.startTime.isValid())
        object.insert(QStringLiteral("startTime"), s.startTime.toUTC().toString(Qt::ISODateWithMs));
    return object;
}

std::optional<KeeperSnapshot> SnapshotFromJson(const QJsonObject &object, QString *error)
{
    const KeeperSnapshot defaults;
    Fields fields(object);
    KeeperSnapshot s;
    s.link = fields.text(QStringLiteral("link"), defaults.link);
    s.linkText = fields.text(QStringLiteral("linkText"), defaults.linkText);
    s.linkTextVisible = fields.flag(QStringLiteral("linkTextVisible"), defaults.linkTextVisible);
    s.state = fields.text(QStringLiteral("state"), defaults.state);
    s.title = fields.text(QStringLiteral("title"), defaults.title);
    s.file = fields.text(QStringLiteral("file"), defaults.file);
    s.startTime = fields.time(QStringLiteral("startTime"));
    s.warning = fields.text(QStringLiteral("warning"), defaults.warning);
    s.retry = fields.text(QStringLiteral("retry"), defaults.retry);
    s.unfinishedFiles = fields.texts(QStringLiteral("unfinishedFiles"));
    s.settled = fields.flag(QStringLiteral("settled"), defaults.settled);
    if (!fields.ok())
        return refuse<KeeperSnapshot>(error, QStringLiteral("snapshot: %1").arg(fields.error()));
    return s;
}

QJsonObject SettingsToJson(const KeeperSettings &s)
{
    return QJsonObject {
        { QStringLiteral("address"), s.address },
        { QStringLiteral("httpPort"), s.httpPort },
        { QStringLiteral("username"), s.username },
        { QStringLiteral("password"), s.password },
        { QStringLiteral("savePath"), s.savePath },
        { QStringLiteral("autoRec"), s.autoRec },
        { QStringLiteral("titleTime"), s.titleTime },
        { QStringLiteral("creditTime"), s.creditTime },
        { QStringLiteral("maxLessonMinutes"), s.maxLessonMinutes },
    };
}

std::optional<KeeperSettings> SettingsFromJson(const QJsonObject &object, QString *error)
{
    const KeeperSettings defaults;
    Fields fields(object);
    KeeperSettings s;
    s.address = fields.text(QStringLiteral("address"), defaults.address);
    s.httpPort = fields.integer(QStringLiteral("httpPort"), defaults.httpPort);
    s.username = fields.text(QStringLiteral("username"), defaults.username);
    s.password = fields.text(QStringLiteral("password"), defaults.password);
    s.savePath = fields.text(QStringLiteral("savePath"), defaults.savePath);
    s.autoRec = fields.flag(QStringLiteral("autoRec"), defaults.autoRec);
    s.titleTime = fields.integer(QStringLiteral("titleTime"), defaults.titleTime);
    s.creditTime = fields.integer(QStringLiteral("creditTime"), defaults.creditTime);
    s.maxLessonMinutes = fields.integer(QStringLiteral("maxLessonMinutes"), defaults.maxLessonMinutes);
    if (!fields.ok())
        return refuse<KeeperSettings>(error, QStringLiteral("settings: %1").arg(fields.error()));
    return s;
}

QByteArray EncodeKeeperCommand(const KeeperCommand &command)
{
    QJsonObject object { { kCommandKey, nameOf(kCommandNames, command.kind) } };
    if (command.kind == KeeperCommand::Kind::HotKey)
        object.insert(QStringLiteral("key"), command.virtualKey);
    if (command.kind == KeeperCommand::Kind::Attach)
        object.insert(QStringLiteral("window"), command.window);
    if (command.kind == KeeperCommand::Kind::Settings)
        object.insert(kSettingsKey, SettingsToJson(command.settings));
    return line(object);
}

std::optional<KeeperCommand> DecodeKeeperCommand(const QByteArray &bytes, QString *error)
{
    const auto opened = open(bytes, kCommandKey, error);
    if (!opened)
        return std::nullopt;
    const auto kind = kindNamed(kCommandNames, opened->second);
    if (!kind)
        return refuse<KeeperCommand>(error, QStringLiteral("unknown command \"%1\"").arg(opened->second));
    KeeperCommand command;
    command.kind = *kind;
    Fields fields(opened->first);
    if (command.kind == KeeperCommand::Kind::HotKey) {
        command.virtualKey = fields.integer(QStringLiteral("key"), 0);
        // A virtual key is one byte; 0 is no key.
        if (fields.ok() && (command.virtualKey < 1 || command.virtualKey > 0xFF))
            return refuse<KeeperCommand>(error, QStringLiteral("hotkey: no virtual key (1 to 255)"));
    }
    if (command.kind == KeeperCommand::Kind::Attach)
        command.window = fields.flag(QStringLiteral("window"), false);
    if (command.kind == KeeperCommand::Kind::Settings) {
        const QJsonObject object = fields.object(kSettingsKey);
        if (!fields.ok())
            return refuse<KeeperCommand>(error, fields.error());
        const auto settings = SettingsFromJson(object, error);
        if (!settings)
            return std::nullopt;
        command.settings = *settings;
    }
    if (!fields.ok())
        return refuse<KeeperCommand>(error, fields.error());
    return command;
}

QByteArray EncodeKeeperEvent(const KeeperEvent &event)
{
    QJsonObject object { { kEventKey, nameOf(kEventNames, event.kind) } };
    switch (event.kind) {
    case KeeperEvent::Kind::Snapshot:
        object.insert(kSnapshotKey, SnapshotToJson(event.snapshot));
        object.insert(kKeeperKey, nameOf(kRoleNames, event.role));
        if (!event.recordings.isEmpty())
            object.insert(kRecordingsKey, event.recordings);
        break;
    case KeeperEvent::Kind::Status:
        object.insert(QStringLiteral("line"), event.text);
        object.insert(QStringLiteral("windows"), event.windows);
        object.insert(kSnapshotKey, SnapshotToJson(event.snapshot));
        break;
    case KeeperEvent::Kind::Message:
    case KeeperEvent::Kind::Error:
        object.insert(QStringLiteral("text"), event.text);
        break;
    case KeeperEvent::Kind::LessonFinished:
        object.insert(QStringLiteral("file"), event.text);
        break;
    case KeeperEvent::Kind::Finished:
    case KeeperEvent::Kind::Pong:
        break;
    }
    return line(object);
}

std::optional<KeeperEvent> DecodeKeeperEvent(const QByteArray &bytes, QString *error)
{
    const auto opened = open(bytes, kEventKey, error);
    if (!opened)
        return std::nullopt;
    const auto kind = kindNamed(kEventNames, opened->second);
    if (!kind)
        return refuse<KeeperEvent>(error, QStringLiteral("unknown event \"%1\"").arg(opened->second));
    KeeperEvent event;
    event.kind = *kind;
    Fields fields(opened->first);
    switch (event.kind) {
    case KeeperEvent::Kind::Status:
        event.text = fields.text(QStringLiteral("line"));
        event.windows = fields.integer(QStringLiteral("windows"), 0);
        [[fallthrough]];
    case KeeperEvent::Kind::Snapshot: {
        const auto snapshot = snapshotIn(fields, error);
        if (!snapshot)
            return std::nullopt;
        event.snapshot = *snapshot;
        if (event.kind == KeeperEvent::Kind::Status)
            break;
        // A keeper that does not say who started it is the user's: its windows leave it running.
        const QString role = fields.text(kKeeperKey, QStringLiteral("user"));
        event.role = kindNamed(kRoleNames, role).value_or(KeeperRole::User);
        event.recordings = fields.text(kRecordingsKey);
        break;
    }
    case KeeperEvent::Kind::Message:
    case KeeperEvent::Kind::Error:
        event.text = fields.text(QStringLiteral("text"));
        break;
    case KeeperEvent::Kind::LessonFinished:
        event.text = fields.text(QStringLiteral("file"));
        break;
    case KeeperEvent::Kind::Finished:
    case KeeperEvent::Kind::Pong:
        break;
    }
    if (!fields.ok())
        return refuse<KeeperEvent>(error, fields.error());
    return event;
}

QString KeeperStatusLine(const KeeperSnapshot &snapshot, int windows, const QDateTime &now)
{
    ClientStatus status;
    status.link = snapshot.link;
    status.state = snapshot.state;
    status.title = snapshot.title;
    status.file = snapshot.file;
    if (snapshot.recording() && snapshot.startTime.isValid())
        status.elapsedSeconds = std::max<qint64>(0, snapshot.startTime.secsTo(now));
    return FormatStatusLine(status) + (windows > 0 ? QStringLiteral(" window=attached") : QStringLiteral(" window=none"));
}

KeeperLineRead ReadKeeperLine(QIODevice &device, QByteArray *line)
{
    if (device.canReadLine()) {
        // readLine keeps one byte of maxSize for a terminating zero: this reads at most the
        // longest line and its '\n'.
        *line = device.readLine(kMaxKeeperLine + 2);
        if (!line->endsWith('\n'))
            return KeeperLineRead::TooLong;
        line->chop(1);
        return KeeperLineRead::Line;
    }
    return device.bytesAvailable() > kMaxKeeperLine ? KeeperLineRead::TooLong : KeeperLineRead::NeedMore;
}

bool ReadKeeperLines(QIODevice &device, const std::function<bool(const QByteArray &)> &onLine)
{
    QByteArray line;
    for (;;) {
        switch (ReadKeeperLine(device, &line)) {
        case KeeperLineRead::NeedMore:
            return true;
        case KeeperLineRead::TooLong:
            return false;
        case KeeperLineRead::Line:
            if (!onLine(line))
                return true;
        }
    }
}

} // namespace Qurel
