#include "PresentationHost.h"

#include "UnoPresentationHost.h"

namespace Qurel {

PresentationError::PresentationError(PresentationFailure failure, const QString &detail)
    : std::runtime_error(detail.toStdString())
    , m_failure(failure)
    , m_detail(detail)
{
}

PresentationError::PresentationError(const QString &detail)
    : PresentationError(PresentationFailure::Lost, detail)
{
}

QString PresentationError::message() const
{
    return PresentationFailureText(m_failure);
}

QString PresentationFailureText(PresentationFailure failure)
{
    switch (failure) {
    case PresentationFailure::Unavailable:
        return QStringLiteral("调用PowerPoint失败,请确定是否已安装!");
    case PresentationFailure::NoAnswer:
        return QStringLiteral("PowerPoint长时间无响应,已将其关闭,请重试!");
    case PresentationFailure::Open:
        return QStringLiteral("文件无法打开或不是演示文稿!");
    case PresentationFailure::Save:
        return QStringLiteral("保存模板文件失败!");
    case PresentationFailure::Export:
        return QStringLiteral("导出片头片尾图片失败!");
    case PresentationFailure::Lost:
        break;
    }
    return QStringLiteral("PowerPoint操作失败,请重试!");
}

namespace {
    PresentationHostFactory &factory()
    {
        static PresentationHostFactory f;
        return f;
    }
} // namespace

std::unique_ptr<PresentationHost> CreatePresentationHost(HostUse use)
{
    if (factory())
        return factory()(use);
    return std::make_unique<UnoPresentationHost>(use);
}

void SetPresentationHostFactory(PresentationHostFactory f)
{
    factory() = std::move(f);
}

} // namespace Qurel
