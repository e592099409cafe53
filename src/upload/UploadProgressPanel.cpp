#include "UploadProgressPanel.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>

namespace Qurel {

UploadProgressPanel::UploadProgressPanel(QWidget *parent)
    : QWidget(parent)
    , m_label(new QLabel(this))
    , m_bar(new QProgressBar(this))
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->addWidget(m_label, 1);
    layout->addWidget(m_bar);
    m_bar->setRange(0, 1000);
    m_bar->setFixedWidth(120);
    m_bar->setTextVisible(true);
    setFixedHeight(24);
}

void UploadProgressPanel::showFile(
    int number, int count, const QString &fileName, std::int64_t sent, std::int64_t total)
{
    m_label->setText(QStringLiteral("正在上传第%1/%2个文件 %3 已发送 %4 / %5")
                         .arg(number)
                         .arg(count)
                         .arg(QFileInfo(fileName).fileName(), FormatBytes(sent), FormatBytes(total)));
    m_bar->setValue(total > 0 ? static_cast<int>(sent * 1000 / total) : 0);
}

QString UploadProgressPanel::text() const
{
    return m_label->text();
}

QString UploadProgressPanel::FormatBytes(std::int64_t bytes)
{
    if (bytes < 1024)
        return QStringLiteral("%1 B").arg(bytes);
    if (bytes < 1024 * 1024)
        return QStringLiteral("%1 KB").arg(static_cast<double>(bytes) / 1024, 0, 'f', 1);
    if (bytes < std::int64_t(1024) * 1024 * 1024)
        return QStringLiteral("%1 MB").arg(static_cast<double>(bytes) / (1024 * 1024), 0, 'f', 1);
    return QStringLiteral("%1 GB").arg(static_cast<double>(bytes) / (1024.0 * 1024 * 1024), 0, 'f', 2);
}

} // namespace Qurel
