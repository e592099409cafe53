#pragma once
// The strip at the bottom of the upload window that shows which file of the
// pass is being sent and how many of its bytes have gone.

#include <QWidget>

#include <cstdint>

class QLabel;
class QProgressBar;

namespace Qurel {

class UploadProgressPanel final : public QWidget
{
    Q_OBJECT
public:
    explicit UploadProgressPanel(QWidget *parent = nullptr);

    // File `number` of `count` (1-based), its name, bytes sent and total.
    void showFile(int number, int count, const QString &fileName, std::int64_t sent, std::int64_t total);
    QString text() const;

    // "12.3 MB" style sizes for the strip.
    static QString FormatBytes(std::int64_t bytes);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    // The whole text; the strip shows the file name shortened in its middle
    // when the window's font makes the text longer than the strip.
    void showText();

    QString m_text;
    QString m_name;
    QLabel *m_label;
    QProgressBar *m_bar;
};

} // namespace Qurel
