#pragma once
// qurel-platform-sim as a library: a simulated resource platform serving the
// client login page and the upload service on a loopback address. It runs on
// a thread of its own, so a client that blocks its own thread while it
// uploads (as the upload window does) can use it in the same process.

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace Qurel {

// How the platform answers one upload.
struct UploadVerdict
{
    // Oversized: accepts with a reply of a megabyte; Trickle: sends a reply head, then one byte
    // every 200 ms and never ends.
    enum class Kind { Accept, Refuse, Drop, Oversized, Trickle };
    Kind kind = Kind::Accept;
    QString message; // Refuse: the text after "Message="

    static UploadVerdict Accept() { return {}; }
    static UploadVerdict Refuse(const QString &message) { return { Kind::Refuse, message }; }
    static UploadVerdict Drop() { return { Kind::Drop, {} }; }
    static UploadVerdict Oversized() { return { Kind::Oversized, {} }; }
    static UploadVerdict Trickle() { return { Kind::Trickle, {} }; }
};

// One upload request as the platform saw it.
struct ReceivedUpload
{
    QString guid; // guid= of the address
    int fileType = 0; // filetype= of the address (1 video, 2 thumbnail)
    QByteArray fieldName; // name of the multipart part that carried the file
    QString fileName; // filename of that part
    QByteArray contentType; // Content-Type of that part
    QByteArray transferEncoding; // Content-Transfer-Encoding of that part
    QString savedPath; // where its data was written (empty when not kept)
    qint64 size = 0; // bytes of file data received
    bool complete = false; // the whole body arrived and parsed
    UploadVerdict::Kind verdict = UploadVerdict::Kind::Accept;
};

// One visit of the login page: the GUIDs and decoded names of its address.
struct LoginVisit
{
    QStringList guids;
    QStringList names;
    QByteArray target; // the request target as sent
};

struct PlatformSimOptions
{
    QHostAddress address = QHostAddress::LocalHost; // must be a loopback address
    quint16 port = 0; // 0: any free port
    QString storageDir; // empty: a temporary folder of the simulator
    bool keepFiles = true; // false: count the bytes, write nothing
    QString finishQuery = QStringLiteral("finish=1"); // query of the address the login form ends on
    QByteArray replyCharset = "utf-8"; // character set of the upload replies
    int replyDelayMs = 0; // pause before answering an upload
};

class PlatformSim final
{
public:
    explicit PlatformSim(const PlatformSimOptions &options = {});
    ~PlatformSim();
    PlatformSim(const PlatformSim &) = delete;
    PlatformSim &operator=(const PlatformSim &) = delete;

    // Starts listening; false with a reason when the address cannot be used.
    bool start(QString *error = nullptr);
    void stop();

    QHostAddress address() const;
    quint16 port() const;
    // "http://address:port"
    QString baseUrl() const;
    QString storageDir() const;

    // Verdicts are used one per upload in the order queued; when the queue is
    // empty the default verdict answers.
    void queueVerdict(const UploadVerdict &verdict);
    void setDefaultVerdict(const UploadVerdict &verdict);
    void setReplyDelay(int ms);
    void setFinishQuery(const QString &query);

    QList<ReceivedUpload> uploads() const;
    QList<LoginVisit> logins() const;
    void clearRecords();

    // Called on the simulator's thread after every upload request.
    void setUploadObserver(std::function<void(const ReceivedUpload &)> observer);

    struct State;

private:
    std::shared_ptr<State> m_state;
    struct Runner;
    std::unique_ptr<Runner> m_runner;
};

// The login page's GUIDs and names from the raw query of its address.
LoginVisit ParseLoginQuery(const QByteArray &query);

} // namespace Qurel
