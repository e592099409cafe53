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
    m_label->setMinimumWidth(0);
    m_label->setTextFormat(Qt::PlainText); // file names are not markup
    m_label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    layout->addWidget(m_bar);
    m_bar->setRange(0, 1000);
    m_bar->setFixedWidth(120);
    m_bar->setTextVisible(true);
    setFixedHeight(24);
}

void UploadProgressPanel::showFile(
    int number, int count, const QString &fileName, std::int64_t sent, std::int64_t total)
{
    m_name = QFileInfo(fileName).fileName();
    m_text = QStringLiteral("正在上传第%1/%2个文件 %3 已发送 %4 / %5")
                 .arg(number)
                 .arg(count)
                 .arg(m_name, FormatBytes(sent), FormatBytes(total));
    showText();
    m_bar->setValue(total > 0 ? static_cast<int>(sent * 1000 / total) : 0);
}

QString UploadProgressPanel::text() const
{
    return m_text;
}

void UploadProgressPanel::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    showText();
}

void UploadProgressPanel::showText()
{
    // The label's own width follows the layout; it never asks for more room.
    // Only the file name gives way, in its middle.
    const QFontMetrics metrics = m_label->fontMetrics();
    const int nameAt = m_text.indexOf(m_name);
    QString shown = m_text;
    if (!m_name.isEmpty() && nameAt >= 0 && metrics.horizontalAdvance(m_text) > m_label->width()) {
        const int rest = metrics.horizontalAdvance(QString(m_text).remove(nameAt, m_name.size()));
        shown.replace(
            nameAt, m_name.size(), metrics.elidedText(m_name, Qt::ElideMiddle, m_label->width() - rest));
    }
    m_label->setText(shown);
    m_label->setToolTip(m_text);
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
