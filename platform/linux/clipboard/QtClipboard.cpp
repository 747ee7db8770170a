#include "platform/linux/clipboard/QtClipboard.h"

#include <QBuffer>
#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>

#include <algorithm>
#include <utility>

namespace {

// Text this program puts on the clipboard, counting the times it is handed out: the clipboard
// asks for the data each time an application reads it.
class CountedMimeData : public QMimeData
{
public:
    explicit CountedMimeData(std::shared_ptr<quint64> reads)
        : m_reads(std::move(reads))
    {}

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override
    {
        ++*m_reads;
        return QMimeData::retrieveData(mimeType, type);
    }

private:
    std::shared_ptr<quint64> m_reads;
};

} // namespace

QtClipboard::QtClipboard(QObject* parent)
    : QObject(parent)
{
    connect(QGuiApplication::clipboard(), &QClipboard::changed, this, [this](QClipboard::Mode mode) {
        if (mode == QClipboard::Clipboard)
            ++m_changes;
    });
}

std::optional<QString> QtClipboard::text() const
{
    const QMimeData* data = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
    if (!data || !data->hasText())
        return std::nullopt;
    return data->text();
}

void QtClipboard::setText(const QString& text)
{
    auto* data = new CountedMimeData(m_reads);
    data->setText(text);
    QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
}

ClipboardSnapshot QtClipboard::snapshot() const
{
    ClipboardSnapshot snapshot;
    const QMimeData* data = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
    if (!data)
        return snapshot;
    const QStringList formats = data->formats();
    // Another application's picture is offered in a dozen encodings, each a full conversion; PNG
    // alone is kept, and the picture is offered in every encoding again when it is put back.
    const bool pngOffered = formats.contains(QStringLiteral("image/png"));
    QElapsedTimer elapsed;
    elapsed.start();
    for (const QString& format : formats) {
        // Only real MIME types travel between applications; Qt's own in-process image type is
        // rebuilt from the image formats.
        if (!format.contains(QLatin1Char('/')) || format == QLatin1String("application/x-qt-image"))
            continue;
        if (pngOffered && format.startsWith(QLatin1String("image/")) && format != QLatin1String("image/png"))
            continue;
        // An owner that answers slowly would hold up the paste format after format; what has
        // arrived by then is what is kept. Whatever its size, a format read is kept whole: the
        // user gets back what they copied.
        if (elapsed.elapsed() > maxSnapshotMilliseconds) {
            snapshot.whole = false;
            break;
        }
        snapshot.formats.append({format, data->data(format)});
    }
    // A picture copied inside a Qt program (ours included) exists only as Qt's in-process image;
    // keep it as PNG so it survives the round trip.
    const bool hasPng = std::any_of(snapshot.formats.cbegin(), snapshot.formats.cend(),
                                    [](const auto& f) { return f.mimeType == QLatin1String("image/png"); });
    if (!hasPng && data->hasImage()) {
        const QImage image = qvariant_cast<QImage>(data->imageData());
        QByteArray png;
        QBuffer buffer(&png);
        if (!image.isNull() && buffer.open(QIODevice::WriteOnly) && image.save(&buffer, "PNG"))
            snapshot.formats.append({QStringLiteral("image/png"), png});
    }
    return snapshot;
}

void QtClipboard::restore(const ClipboardSnapshot& snapshot)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (snapshot.isEmpty()) {
        clipboard->clear(QClipboard::Clipboard);
        return;
    }
    auto* data = new QMimeData;
    for (const auto& format : snapshot.formats) {
        data->setData(format.mimeType, format.data);
        // Qt programs (this one too) ask for the picture as Qt's own image type.
        if (format.mimeType == QLatin1String("image/png"))
            data->setImageData(QImage::fromData(format.data, "PNG"));
    }
    clipboard->setMimeData(data, QClipboard::Clipboard);
}
