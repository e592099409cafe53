#include "OfficeTestKit.h"

#include "OfficeProfile.h"
#include "RecorderSim.h"
#include "UnoPresentationHost.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QtEndian>

namespace SlidesTest {

std::unique_ptr<Qurel::RecorderSim> StartRecorder(const QString &address, QString *error)
{
    Qurel::RecorderSimOptions options;
    options.address = QHostAddress(address);
    options.stream = false;
    auto sim = std::make_unique<Qurel::RecorderSim>(options);
    if (!sim->start(error))
        return nullptr;
    return sim;
}

void UsePrivateOffice()
{
    // The client's own profile and pipe; the test's data folder is its own.
    Qurel::OfficeProfile profile;
    profile.quitTimeoutMs = 5000;
    Qurel::SetOfficeProfile(profile);
}

void EndPrivateOffice()
{
    Qurel::UnoPresentationHost(Qurel::HostUse::Export).quit();
    if (Qurel::OfficeRunning())
        Qurel::OfficeTesting::KillOffice();
}

KeepOfficeHost::KeepOfficeHost(Qurel::HostUse use, int *quits)
    : m_inner(std::make_unique<Qurel::UnoPresentationHost>(use))
    , m_quits(quits)
{
    m_inner->setPresentationCloseHandler([this] { notifyPresentationClose(); });
}

KeepOfficeHost::~KeepOfficeHost()
{
    closeOpened();
}

void KeepOfficeHost::closeOpened()
{
    for (const auto &presentation : m_opened) {
        try {
            Qurel::OfficeTesting::ClosePresentation(*presentation);
        } catch (const Qurel::PresentationError &) {
        }
    }
    m_opened.clear();
}

void KeepOfficeHost::disconnect()
{
    closeOpened();
    m_inner->disconnect();
}

std::shared_ptr<Qurel::Presentation> KeepOfficeHost::open(const QString &file, Qurel::OpenMode mode)
{
    auto presentation = m_inner->open(file, mode);
    m_opened.push_back(presentation);
    return presentation;
}

void KeepOfficeHost::quit()
{
    closeOpened();
    if (m_quits)
        ++*m_quits;
}

void MakePresentation(const QString &path, const QStringList &titles)
{
    QFile::remove(path);
    QFile empty(path);
    if (!empty.open(QIODevice::WriteOnly))
        throw Qurel::PresentationError(QStringLiteral("cannot write %1").arg(path));
    empty.close();
    if (titles.isEmpty())
        return;
    KeepOfficeHost host(Qurel::HostUse::Export);
    auto presentation = host.open(path, Qurel::OpenMode::Hidden);
    for (int i = 0; i < titles.size(); ++i) {
        const auto slide = presentation->addSlide(i + 1, Qurel::SlideLayout::Title);
        slide->titleShape()->setText(titles.at(i));
        for (int s = 1; s <= slide->shapesCount(); ++s) {
            if (slide->shape(s)->placeholderKind() == Qurel::PlaceholderKind::Subtitle)
                slide->shape(s)->setText(QStringLiteral("sub %1").arg(i + 1));
        }
    }
    presentation->save();
    host.disconnect();
}

QStringList ReadSlides(const QString &path)
{
    KeepOfficeHost host(Qurel::HostUse::Export);
    auto presentation = host.open(path, Qurel::OpenMode::Hidden);
    QStringList slides;
    for (int i = 1; i <= presentation->slidesCount(); ++i) {
        const auto slide = presentation->slide(i);
        QStringList texts;
        for (int s = 1; s <= slide->shapesCount(); ++s)
            texts << slide->shape(s)->text();
        slides << texts.join(QLatin1Char('|'));
    }
    host.disconnect();
    return slides;
}

BmpInfo ReadBmp(const QString &path)
{
    BmpInfo info;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        info.problem = QStringLiteral("cannot open");
        return info;
    }
    const QByteArray data = file.readAll();
    if (data.size() < 54 || !data.startsWith("BM")) {
        info.problem = QStringLiteral("no BM header");
        return info;
    }
    const auto *bytes = reinterpret_cast<const uchar *>(data.constData());
    const quint32 fileSize = qFromLittleEndian<quint32>(bytes + 2);
    const quint32 offset = qFromLittleEndian<quint32>(bytes + 10);
    const quint32 headerSize = qFromLittleEndian<quint32>(bytes + 14);
    info.width = qFromLittleEndian<qint32>(bytes + 18);
    const qint32 height = qFromLittleEndian<qint32>(bytes + 22);
    info.height = height < 0 ? -height : height;
    const quint16 planes = qFromLittleEndian<quint16>(bytes + 26);
    info.bitsPerPixel = qFromLittleEndian<quint16>(bytes + 28);
    const quint32 compression = qFromLittleEndian<quint32>(bytes + 30);
    const qint64 rowBytes = ((qint64(info.width) * info.bitsPerPixel + 31) / 32) * 4;
    if (fileSize != quint32(data.size()))
        info.problem = QStringLiteral("file size field %1, file %2").arg(fileSize).arg(data.size());
    else if (headerSize < 40 || planes != 1 || compression != 0)
        info.problem = QStringLiteral("unexpected info header");
    else if (offset < 14 + headerSize || offset + rowBytes * info.height > quint32(data.size()))
        info.problem = QStringLiteral("pixel data does not fit");
    else
        info.valid = true;
    return info;
}

} // namespace SlidesTest
