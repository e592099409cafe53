#include "UnoPresentationHost.h"

#include "UnoOffice.h"

#include <com/sun/star/awt/SystemDependentXWindow.hpp>
#include <com/sun/star/awt/XSystemDependentWindowPeer.hpp>
#include <com/sun/star/awt/XTopWindow.hpp>
#include <com/sun/star/awt/XWindow.hpp>
#include <com/sun/star/beans/NamedValue.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/configuration/theDefaultProvider.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/document/XDocumentEventBroadcaster.hpp>
#include <com/sun/star/document/XDocumentEventListener.hpp>
#include <com/sun/star/document/XExporter.hpp>
#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/document/UpdateDocMode.hpp>
#include <com/sun/star/document/XFilter.hpp>
#include <com/sun/star/drawing/GraphicExportFilter.hpp>
#include <com/sun/star/drawing/XDrawPagesSupplier.hpp>
#include <com/sun/star/frame/DispatchHelper.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XDispatchProvider.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/frame/theGlobalEventBroadcaster.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/SystemDependent.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/task/XInteractionAbort.hpp>
#include <com/sun/star/task/XInteractionHandler.hpp>
#include <com/sun/star/task/XInteractionRequest.hpp>
#include <com/sun/star/text/XTextRange.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <cppuhelper/implbase1.hxx>

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QObject>
#include <QPainter>

#include <chrono>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace Qurel {

using namespace com::sun::star;
using Uno::FromOU;
using uno::Reference;
using Uno::ToOU;
using uno::UNO_QUERY;
using uno::UNO_QUERY_THROW;

namespace {

    const rtl::OUString kTitleShape = ToOU(QStringLiteral("com.sun.star.presentation.TitleTextShape"));
    const rtl::OUString kSubtitleShape = ToOU(QStringLiteral("com.sun.star.presentation.SubtitleShape"));
    const rtl::OUString kOutlinerShape = ToOU(QStringLiteral("com.sun.star.presentation.OutlinerShape"));
    constexpr sal_Int16 kTitleLayout = 0; // AUTOLAYOUT_TITLE: title and subtitle

    // Runs an office call under the call watchdog and turns its exceptions
    // into PresentationError: `failure` says what failed, unless the office
    // did not answer in time and was ended.
    template <typename F>
    auto Guarded(const OfficeProfile &profile, PresentationFailure failure, const char *what, F &&call)
        -> decltype(call())
    {
        Uno::CallWatchdog watchdog(profile);
        try {
            return call();
        } catch (const PresentationError &e) {
            if (watchdog.expired())
                throw PresentationError(PresentationFailure::NoAnswer, e.detail());
            throw;
        } catch (const uno::Exception &) {
            throw PresentationError(watchdog.expired() ? PresentationFailure::NoAnswer : failure,
                QString::fromLatin1(what) + QStringLiteral(": ") + Uno::CurrentExceptionText());
        }
    }

    beans::PropertyValue Property(const char *name, const uno::Any &value)
    {
        beans::PropertyValue property;
        property.Name = rtl::OUString::createFromAscii(name);
        property.Value = value;
        return property;
    }

    template <typename T>
    T PropertyOr(const Reference<beans::XPropertySet> &set, const char *name, T fallback)
    {
        const rtl::OUString key = rtl::OUString::createFromAscii(name);
        if (!set.is() || !set->getPropertySetInfo()->hasPropertyByName(key))
            return fallback;
        T value = fallback;
        set->getPropertyValue(key) >>= value;
        return value;
    }

    // One open document, shared by the presentation, slide and shape objects
    // handed out. The host releases it when it disconnects, so no remote
    // reference outlives the bridge.
    struct UnoDocument
    {
        Reference<lang::XComponent> model;
        QString file;
        OfficeProfile profile;
        // False while the office's obligatory first page is still untouched and
        // so stands for "no slide".
        bool lonePageIsSlide = true;

        Reference<drawing::XDrawPages> pages() const
        {
            if (!model.is())
                throw PresentationError(QStringLiteral("the presentation %1 is no longer open").arg(file));
            return Reference<drawing::XDrawPagesSupplier>(model, UNO_QUERY_THROW)->getDrawPages();
        }
        int slidesCount() const
        {
            const int pages = this->pages()->getCount();
            return pages == 1 && !lonePageIsSlide ? 0 : pages;
        }
        Reference<drawing::XDrawPage> page(int index) const
        {
            const int count = slidesCount();
            if (index < 1 || index > count)
                throw PresentationError(
                    QStringLiteral("there is no slide %1 (the presentation has %2)").arg(index).arg(count));
            return Reference<drawing::XDrawPage>(pages()->getByIndex(index - 1), UNO_QUERY_THROW);
        }
        Reference<drawing::XShape> shape(int slide, int index) const
        {
            const Reference<drawing::XDrawPage> page = this->page(slide);
            if (index < 1 || index > page->getCount())
                throw PresentationError(QStringLiteral("slide %1 has no shape %2").arg(slide).arg(index));
            return Reference<drawing::XShape>(page->getByIndex(index - 1), UNO_QUERY_THROW);
        }
        Reference<frame::XFrame> frame() const
        {
            Reference<frame::XModel> m(model, UNO_QUERY);
            Reference<frame::XController> controller = m.is() ? m->getCurrentController() : nullptr;
            return controller.is() ? controller->getFrame() : nullptr;
        }
    };

    // The kind of a shape as the office names it ("com.sun.star.presentation.
    // SubtitleShape"); supportsService() misses some of the presentation kinds.
    rtl::OUString ShapeType(const Reference<drawing::XShape> &shape)
    {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        return shape->getShapeType();
#pragma GCC diagnostic pop
    }

    bool IsEmptyPlaceholder(const Reference<drawing::XShape> &shape)
    {
        Reference<beans::XPropertySet> set(shape, UNO_QUERY);
        return PropertyOr(set, "IsPresentationObject", false)
            && PropertyOr(set, "IsEmptyPresentationObject", false);
    }

    // The office never holds a presentation without pages; one untouched page
    // is what it shows for an empty file or a presentation without slides.
    bool OnlyUntouchedPage(const Reference<drawing::XDrawPages> &pages)
    {
        if (pages->getCount() != 1)
            return false;
        Reference<drawing::XDrawPage> page(pages->getByIndex(0), UNO_QUERY_THROW);
        for (sal_Int32 i = 0; i < page->getCount(); ++i) {
            if (!IsEmptyPlaceholder(Reference<drawing::XShape>(page->getByIndex(i), UNO_QUERY_THROW)))
                return false;
        }
        return true;
    }

    Reference<uno::XComponentContext> Context(const std::weak_ptr<Uno::OfficeConnection *> &office)
    {
        const auto connection = office.lock();
        if (!connection || !*connection)
            throw PresentationError(QStringLiteral("the office is not connected"));
        return (*connection)->context();
    }

    class UnoShape final : public PresentationShape
    {
    public:
        UnoShape(std::shared_ptr<UnoDocument> doc, int slide, int index)
            : m_doc(std::move(doc))
            , m_slide(slide)
            , m_index(index)
        {
        }
        bool isPlaceholder() const override
        {
            return Guarded(m_doc->profile, PresentationFailure::Lost, "reading a shape", [&] {
                return PropertyOr(Reference<beans::XPropertySet>(m_doc->shape(m_slide, m_index), UNO_QUERY),
                    "IsPresentationObject", false);
            });
        }
        PlaceholderKind placeholderKind() const override
        {
            return Guarded(m_doc->profile, PresentationFailure::Lost, "reading a shape", [&] {
                const rtl::OUString type = ShapeType(m_doc->shape(m_slide, m_index));
                if (type == kTitleShape) {
                    const sal_Int16 layout
                        = PropertyOr(Reference<beans::XPropertySet>(m_doc->page(m_slide), UNO_QUERY),
                            "Layout", sal_Int16(-1));
                    return layout == kTitleLayout ? PlaceholderKind::CenterTitle : PlaceholderKind::Title;
                }
                if (type == kSubtitleShape)
                    return PlaceholderKind::Subtitle;
                if (type == kOutlinerShape)
                    return PlaceholderKind::Body;
                return isPlaceholder() ? PlaceholderKind::Other : PlaceholderKind::NotPlaceholder;
            });
        }
        QString text() const override
        {
            return Guarded(m_doc->profile, PresentationFailure::Lost, "reading a shape's text", [&] {
                Reference<text::XTextRange> range(m_doc->shape(m_slide, m_index), UNO_QUERY);
                return range.is() ? FromOU(range->getString()) : QString();
            });
        }
        void setText(const QString &text) override
        {
            Guarded(m_doc->profile, PresentationFailure::Lost, "setting a shape's text", [&] {
                Reference<text::XTextRange> range(m_doc->shape(m_slide, m_index), UNO_QUERY);
                if (!range.is())
                    throw PresentationError(
                        QStringLiteral("shape %1 of slide %2 holds no text").arg(m_index).arg(m_slide));
                range->setString(ToOU(text));
            });
        }

    private:
        std::shared_ptr<UnoDocument> m_doc;
        int m_slide;
        int m_index;
    };

    // Writes `image` over white (slides may come with transparent parts) in the
    // format named by the export filter.
    void SaveSlidePicture(QImage image, const QString &file, const QString &filter, int width, int height)
    {
        if (image.size() != QSize(width, height))
            image = image.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        QImage opaque(image.size(), QImage::Format_RGB32);
        opaque.fill(Qt::white);
        QPainter(&opaque).drawImage(0, 0, image);
        if (!opaque.save(file, filter.toUpper().toLatin1().constData()))
            throw PresentationError(PresentationFailure::Export, QStringLiteral("cannot write %1").arg(file));
    }

    class UnoSlide final : public PresentationSlide
    {
    public:
        UnoSlide(std::shared_ptr<UnoDocument> doc, int index, std::weak_ptr<Uno::OfficeConnection *> office)
            : m_doc(std::move(doc))
            , m_index(index)
            , m_office(std::move(office))
        {
        }

        int shapesCount() const override
        {
            return Guarded(m_doc->profile, PresentationFailure::Lost, "counting shapes",
                [&] { return int(m_doc->page(m_index)->getCount()); });
        }
        std::unique_ptr<PresentationShape> shape(int index) const override
        {
            Guarded(m_doc->profile, PresentationFailure::Lost, "reading a shape",
                [&] { m_doc->shape(m_index, index); });
            return std::make_unique<UnoShape>(m_doc, m_index, index);
        }
        std::unique_ptr<PresentationShape> titleShape() const override
        {
            return Guarded(m_doc->profile, PresentationFailure::Lost, "finding the title",
                [&]() -> std::unique_ptr<PresentationShape> {
                    const Reference<drawing::XDrawPage> page = m_doc->page(m_index);
                    for (sal_Int32 i = 0; i < page->getCount(); ++i) {
                        if (ShapeType(Reference<drawing::XShape>(page->getByIndex(i), UNO_QUERY_THROW))
                            == kTitleShape)
                            return std::make_unique<UnoShape>(m_doc, m_index, int(i) + 1);
                    }
                    return nullptr;
                });
        }
        void exportBitmap(const QString &file, const QString &filter, int width, int height) override
        {
            const QString format = filter.toLower();
            if (format != QLatin1String("bmp") && format != QLatin1String("png"))
                throw PresentationError(
                    PresentationFailure::Export, QStringLiteral("unknown picture format %1").arg(filter));
            // The office's own BMP writer gets the size or the header wrong; it
            // writes PNG well, and the picture is rewritten here in the format asked.
            const QString png = file + QStringLiteral(".export.png");
            Guarded(m_doc->profile, PresentationFailure::Export, "exporting a slide", [&] {
                Reference<document::XExporter> exporter(
                    drawing::GraphicExportFilter::create(Context(m_office)), UNO_QUERY_THROW);
                exporter->setSourceDocument(
                    Reference<lang::XComponent>(m_doc->page(m_index), UNO_QUERY_THROW));
                uno::Sequence<beans::PropertyValue> size(2);
                size[0] = Property("PixelWidth", uno::Any(sal_Int32(width)));
                size[1] = Property("PixelHeight", uno::Any(sal_Int32(height)));
                uno::Sequence<beans::PropertyValue> args(3);
                args[0] = Property("URL", uno::Any(Uno::FileUrl(png)));
                args[1] = Property("MediaType", uno::Any(ToOU(QStringLiteral("image/png"))));
                args[2] = Property("FilterData", uno::Any(size));
                if (!Reference<document::XFilter>(exporter, UNO_QUERY_THROW)->filter(args))
                    throw PresentationError(PresentationFailure::Export,
                        QStringLiteral("the office did not export slide %1").arg(m_index));
            });
            const QImage image(png);
            QFile::remove(png);
            if (image.isNull())
                throw PresentationError(PresentationFailure::Export,
                    QStringLiteral("the office wrote no picture of slide %1").arg(m_index));
            SaveSlidePicture(image, file, format, width, height);
        }

    private:
        std::shared_ptr<UnoDocument> m_doc;
        int m_index;
        // Slides may be kept past a disconnect; they hold no remote reference.
        std::weak_ptr<Uno::OfficeConnection *> m_office;
    };

    class UnoPresentation final : public Presentation
    {
    public:
        UnoPresentation(std::shared_ptr<UnoDocument> doc, std::weak_ptr<Uno::OfficeConnection *> office)
            : m_doc(std::move(doc))
            , m_office(std::move(office))
        {
        }
        const std::shared_ptr<UnoDocument> &document() const { return m_doc; }

        QString fileName() const override { return m_doc->file; }
        int slidesCount() const override
        {
            return Guarded(m_doc->profile, PresentationFailure::Lost, "counting slides",
                [&] { return m_doc->slidesCount(); });
        }
        std::unique_ptr<PresentationSlide> slide(int index) const override
        {
            Guarded(
                m_doc->profile, PresentationFailure::Lost, "reading a slide", [&] { m_doc->page(index); });
            return std::make_unique<UnoSlide>(m_doc, index, m_office);
        }
        std::unique_ptr<PresentationSlide> addSlide(int index, SlideLayout layout) override
        {
            Q_UNUSED(layout); // the title layout is the only one the client adds
            Guarded(m_doc->profile, PresentationFailure::Lost, "adding a slide", [&] {
                const int count = m_doc->slidesCount();
                Reference<drawing::XDrawPages> pages = m_doc->pages();
                Reference<drawing::XDrawPage> page;
                if (count == 0 && index == 1) {
                    page.set(pages->getByIndex(0), UNO_QUERY_THROW);
                    m_doc->lonePageIsSlide = true;
                } else if (index >= 2 && index <= count + 1) {
                    // The office inserts after the page it is given.
                    page = pages->insertNewByIndex(index - 2);
                } else {
                    throw PresentationError(
                        QStringLiteral("a slide cannot be added at %1 (the presentation has %2)")
                            .arg(index)
                            .arg(count));
                }
                Reference<beans::XPropertySet>(page, UNO_QUERY_THROW)
                    ->setPropertyValue(ToOU(QStringLiteral("Layout")), uno::Any(kTitleLayout));
            });
            return slide(index);
        }
        void save() override
        {
            Guarded(m_doc->profile, PresentationFailure::Save, "saving the presentation", [&] {
                if (!m_doc->model.is())
                    throw PresentationError(
                        QStringLiteral("the presentation %1 is no longer open").arg(m_doc->file));
                Reference<frame::XStorable>(m_doc->model, UNO_QUERY_THROW)->store();
            });
        }

    private:
        std::shared_ptr<UnoDocument> m_doc;
        std::weak_ptr<Uno::OfficeConnection *> m_office;
    };

    // Hands the office's "a document is being closed" events, which arrive on
    // bridge threads, to the thread that owns the host.
    struct CloseRelay
    {
        std::mutex mutex;
        QObject *receiver = nullptr;
        std::function<void()> deliver;

        void post()
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (receiver)
                QMetaObject::invokeMethod(receiver, deliver, Qt::QueuedConnection);
        }
        void stop()
        {
            std::lock_guard<std::mutex> lock(mutex);
            receiver = nullptr;
        }
    };

    class CloseListener final : public cppu::WeakImplHelper1<document::XDocumentEventListener>
    {
    public:
        explicit CloseListener(std::shared_ptr<CloseRelay> relay)
            : m_relay(std::move(relay))
        {
        }
        void SAL_CALL documentEventOccured(const document::DocumentEvent &event) override
        {
            if (event.EventName != "OnUnload")
                return;
            Reference<lang::XServiceInfo> info(event.Source, UNO_QUERY);
            if (info.is() && info->supportsService("com.sun.star.presentation.PresentationDocument"))
                m_relay->post();
        }
        void SAL_CALL disposing(const lang::EventObject &) override { }

    private:
        std::shared_ptr<CloseRelay> m_relay;
    };

    // Answers every question the office would ask while loading (a file it
    // cannot read, a lock, a password) with "abort", so that loading fails with
    // an error instead of waiting for someone to close a dialog in the office.
    class AbortingInteractionHandler final : public cppu::WeakImplHelper1<task::XInteractionHandler>
    {
    public:
        void SAL_CALL handle(const Reference<task::XInteractionRequest> &request) override
        {
            const auto continuations = request->getContinuations();
            for (const auto &continuation : continuations) {
                Reference<task::XInteractionAbort> abort(continuation, UNO_QUERY);
                if (abort.is()) {
                    abort->select();
                    return;
                }
            }
        }
    };

    Reference<document::XDocumentEventBroadcaster> Broadcaster(
        const Reference<uno::XComponentContext> &context)
    {
        return Reference<document::XDocumentEventBroadcaster>(
            frame::theGlobalEventBroadcaster::get(context), UNO_QUERY_THROW);
    }

    Reference<awt::XWindow> ContainerWindow(const std::shared_ptr<UnoDocument> &doc)
    {
        const Reference<frame::XFrame> frame = doc ? doc->frame() : nullptr;
        return frame.is() ? frame->getContainerWindow() : nullptr;
    }

} // namespace

struct UnoPresentationHost::Impl
{
    HostUse use;
    OfficeProfile profile = CurrentOfficeProfile();
    std::unique_ptr<Uno::OfficeConnection> office;
    // Shared with presentations so they notice when the connection is gone.
    std::shared_ptr<Uno::OfficeConnection *> officeRef = std::make_shared<Uno::OfficeConnection *>(nullptr);
    std::vector<std::weak_ptr<UnoDocument>> documents;
    std::weak_ptr<UnoDocument> active;
    QObject receiver;
    std::shared_ptr<CloseRelay> relay = std::make_shared<CloseRelay>();
    Reference<document::XDocumentEventListener> listener;
    bool visible = false;

    explicit Impl(HostUse u)
        : use(u)
    {
    }

    Uno::OfficeConnection &connected()
    {
        if (!office || office->ended())
            throw PresentationError(QStringLiteral("the office is not connected"));
        return *office;
    }

    void attach(std::unique_ptr<Uno::OfficeConnection> connection)
    {
        office = std::move(connection);
        *officeRef = office.get();
        {
            std::lock_guard<std::mutex> lock(relay->mutex);
            relay->receiver = &receiver;
        }
        listener = new CloseListener(relay);
        Guarded(profile, PresentationFailure::Lost, "subscribing to the office's events",
            [&] { Broadcaster(office->context())->addDocumentEventListener(listener); });
    }

    void releaseDocuments()
    {
        for (const auto &weak : documents) {
            if (const auto doc = weak.lock())
                doc->model.clear();
        }
        documents.clear();
        active.reset();
    }

    void detach()
    {
        relay->stop();
        if (office && !office->ended() && listener.is()) {
            Uno::CallWatchdog watchdog(profile);
            try {
                Broadcaster(office->context())->removeDocumentEventListener(listener);
            } catch (const uno::Exception &) {
                // The office may have ended already.
            }
        }
        listener.clear();
        releaseDocuments();
        *officeRef = nullptr;
        if (office)
            office->close();
        office.reset();
    }
};

UnoPresentationHost::UnoPresentationHost(HostUse use)
    : d(std::make_unique<Impl>(use))
{
    d->relay->deliver = [this] { notifyPresentationClose(); };
}

UnoPresentationHost::~UnoPresentationHost()
{
    d->detach();
}

void UnoPresentationHost::connect()
{
    if (d->office && d->office->ended())
        d->detach(); // its office was killed; the bridge is dead
    if (d->office)
        return;
    d->attach(Uno::OfficeConnection::Open(d->profile, d->use == HostUse::Export, true));
}

void UnoPresentationHost::disconnect()
{
    d->detach();
}

bool UnoPresentationHost::isConnected() const
{
    return d->office != nullptr && !d->office->ended();
}

void UnoPresentationHost::setVisible(bool visible)
{
    connect();
    d->visible = visible;
    // Documents opened in a window follow; hidden ones stay hidden.
    if (const auto doc = d->active.lock()) {
        Guarded(d->profile, PresentationFailure::Lost, "showing the office", [&] {
            if (const Reference<awt::XWindow> window = ContainerWindow(doc); window.is() && visible)
                window->setVisible(true);
        });
    }
}

QString UnoPresentationHost::version()
{
    connect();
    return Guarded(d->profile, PresentationFailure::Lost, "reading the office's version", [&] {
        Reference<lang::XMultiServiceFactory> provider
            = configuration::theDefaultProvider::get(d->connected().context());
        beans::NamedValue path;
        path.Name = "nodepath";
        path.Value <<= ToOU(QStringLiteral("/org.openoffice.Setup/Product"));
        uno::Sequence<uno::Any> args(1);
        args[0] <<= path;
        Reference<container::XNameAccess> product(
            provider->createInstanceWithArguments("com.sun.star.configuration.ConfigurationAccess", args),
            UNO_QUERY_THROW);
        rtl::OUString version;
        product->getByName("ooSetupVersion") >>= version;
        Reference<lang::XComponent>(product, UNO_QUERY_THROW)->dispose();
        return FromOU(version);
    });
}

std::shared_ptr<Presentation> UnoPresentationHost::open(const QString &file, OpenMode mode)
{
    connect();
    if (!QFileInfo(file).isFile())
        throw PresentationError(PresentationFailure::Open, QStringLiteral("%1 does not exist").arg(file));
    auto doc = std::make_shared<UnoDocument>();
    doc->file = file;
    doc->profile = d->profile;
    Guarded(d->profile, PresentationFailure::Open, "opening the presentation", [&] {
        const Reference<task::XInteractionHandler> questions(new AbortingInteractionHandler);
        // Macros and links of a template never run or update: the file may come from anywhere, and
        // the mode is set here rather than left to the office's security settings.
        std::vector<beans::PropertyValue> args { Property("Hidden", uno::Any(mode == OpenMode::Hidden)),
            Property("InteractionHandler", uno::Any(questions)),
            Property("MacroExecutionMode", uno::Any(document::MacroExecMode::NEVER_EXECUTE)),
            Property("UpdateDocMode", uno::Any(document::UpdateDocMode::NO_UPDATE)) };
        // Templates keep the PowerPoint 97 format they are stored in.
        const QString suffix = QFileInfo(file).suffix().toLower();
        if (suffix == QLatin1String("ppt") || suffix == QLatin1String("pps")
            || suffix == QLatin1String("pot"))
            args.push_back(Property("FilterName", uno::Any(ToOU(QStringLiteral("MS PowerPoint 97")))));
        Reference<frame::XComponentLoader> loader(d->connected().desktop(), UNO_QUERY_THROW);
        doc->model = loader->loadComponentFromURL(Uno::FileUrl(file), "_blank", 0,
            uno::Sequence<beans::PropertyValue>(args.data(), int(args.size())));
        if (!doc->model.is())
            throw PresentationError(
                PresentationFailure::Open, QStringLiteral("the office could not open %1").arg(file));
        if (!Reference<drawing::XDrawPagesSupplier>(doc->model, UNO_QUERY).is()) {
            Reference<util::XCloseable>(doc->model, UNO_QUERY_THROW)->close(true);
            doc->model.clear();
            throw PresentationError(
                PresentationFailure::Open, QStringLiteral("%1 is not a presentation").arg(file));
        }
        doc->lonePageIsSlide = !OnlyUntouchedPage(doc->pages());
    });
    d->documents.push_back(doc);
    d->active = doc;
    return std::make_shared<UnoPresentation>(doc, d->officeRef);
}

std::shared_ptr<Presentation> UnoPresentationHost::activePresentation()
{
    connect();
    const auto doc = d->active.lock();
    if (!doc || !doc->model.is())
        throw PresentationError(QStringLiteral("no presentation is open"));
    return std::make_shared<UnoPresentation>(doc, d->officeRef);
}

quintptr UnoPresentationHost::activeWindowHandle()
{
    connect();
    return Guarded(d->profile, PresentationFailure::Lost, "finding the document window", [&]() -> quintptr {
        Reference<awt::XSystemDependentWindowPeer> peer(ContainerWindow(d->active.lock()), UNO_QUERY);
        if (!peer.is())
            return 0;
        const uno::Any handle
            = peer->getWindowHandle(uno::Sequence<sal_Int8>(16), lang::SystemDependent::SYSTEM_XWINDOW);
        awt::SystemDependentXWindow xwindow;
        sal_Int64 id = 0;
        if (handle >>= xwindow)
            return quintptr(xwindow.WindowHandle);
        if (handle >>= id)
            return quintptr(id);
        return 0;
    });
}

QRect UnoPresentationHost::activeWindowGeometry()
{
    connect();
    return Guarded(d->profile, PresentationFailure::Lost, "finding the document window", [&]() -> QRect {
        const Reference<awt::XWindow> window = ContainerWindow(d->active.lock());
        if (!window.is())
            return {};
        const awt::Rectangle r = window->getPosSize();
        return QRect(r.X, r.Y, r.Width, r.Height);
    });
}

void UnoPresentationHost::bringToFront()
{
    connect();
    Guarded(d->profile, PresentationFailure::Lost, "bringing the office forward", [&] {
        Reference<awt::XTopWindow> top(ContainerWindow(d->active.lock()), UNO_QUERY);
        if (top.is())
            top->toFront();
    });
}

void UnoPresentationHost::showDesignDialog()
{
    connect();
    Guarded(d->profile, PresentationFailure::Lost, "opening the slide design dialog", [&] {
        Reference<frame::XDispatchProvider> frame(
            d->active.lock() ? d->active.lock()->frame() : nullptr, UNO_QUERY);
        if (!frame.is())
            throw PresentationError(QStringLiteral("no presentation window is open"));
        Reference<frame::XDispatchHelper> helper = frame::DispatchHelper::create(d->connected().context());
        // The dispatch returns only when the dialog closes.
        std::thread([frame, helper]() mutable {
            try {
                helper->executeDispatch(frame, ".uno:PresentationLayout", "", 0, {});
            } catch (const uno::Exception &) {
                // The office went away while the dialog was open.
            }
            frame.clear();
            helper.clear();
        }).detach();
    });
}

void UnoPresentationHost::quit()
{
    if (!isConnected()) {
        d->detach();
        auto running = Uno::OfficeConnection::Open(d->profile, true, false);
        if (!running)
            return;
        d->attach(std::move(running));
    }
    Reference<frame::XDesktop2> desktop = d->office->desktop();
    d->relay->stop();
    d->releaseDocuments();
    // terminate() waits while the office asks the user about unsaved
    // documents; the client waits as long as for any call, then ends it.
    std::promise<bool> done;
    std::future<bool> terminated = done.get_future();
    std::thread([desktop, result = std::move(done)]() mutable {
        bool ended = true;
        try {
            ended = desktop->terminate();
        } catch (const uno::Exception &) {
            // The office tore the bridge down while ending.
        }
        desktop.clear();
        result.set_value(ended);
    }).detach();
    desktop.clear();
    const bool answered = terminated.wait_for(std::chrono::milliseconds(d->profile.callTimeoutMs))
        == std::future_status::ready;
    const bool ended = answered && terminated.get();
    if (!answered)
        Uno::KillOffices(d->profile);
    d->detach();
    if (ended)
        Uno::OfficeConnection::WaitUntilGone(d->profile);
}

bool OfficeRunning()
{
    try {
        return Uno::PipeAnswers(CurrentOfficeProfile());
    } catch (const uno::Exception &) {
        return false;
    }
}

namespace OfficeTesting {

    namespace {
        UnoPresentation &Uno(Presentation &presentation)
        {
            auto *uno = dynamic_cast<UnoPresentation *>(&presentation);
            if (!uno)
                throw PresentationError(QStringLiteral("not an office presentation"));
            return *uno;
        }
    } // namespace

    void ClosePresentation(Presentation &presentation)
    {
        const auto &doc = Uno(presentation).document();
        Guarded(doc->profile, PresentationFailure::Lost, "closing the presentation", [&] {
            if (doc->model.is())
                Reference<util::XCloseable>(doc->model, UNO_QUERY_THROW)->close(true);
            doc->model.clear();
        });
    }

    void DeleteSlide(Presentation &presentation, int index)
    {
        const auto &doc = Uno(presentation).document();
        Guarded(doc->profile, PresentationFailure::Lost, "deleting a slide",
            [&] { doc->pages()->remove(doc->page(index)); });
    }

    void KillOffice()
    {
        Uno::KillOffices(CurrentOfficeProfile());
    }

    QList<qint64> OfficeProcesses()
    {
        return Uno::OfficeProcesses(CurrentOfficeProfile());
    }

} // namespace OfficeTesting

} // namespace Qurel
