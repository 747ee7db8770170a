#include "app/ui/SymbolIcon.h"

#include <QCache>
#include <QFile>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cmath>
#include <memory>

// The resources live in a static library; referencing the initialiser keeps the linker from
// dropping them. The macro must be used outside any namespace.
static bool initIconResources()
{
    Q_INIT_RESOURCE(resources);
    return true;
}

namespace {

void ensureResources()
{
    static const bool loaded = initIconResources();
    Q_UNUSED(loaded);
}

QString pathOf(const QString& name)
{
    return QStringLiteral(":/icons/%1.svg").arg(name);
}

QSvgRenderer* rendererFor(const QString& name)
{
    static QHash<QString, std::shared_ptr<QSvgRenderer>> renderers;
    auto it = renderers.find(name);
    if (it == renderers.end()) {
        ensureResources();
        auto renderer = std::make_shared<QSvgRenderer>(pathOf(name));
        it = renderers.insert(name, renderer->isValid() ? renderer : nullptr);
    }
    return it->get();
}

// Tinted rasters are cached: the overlay repaints its symbols at frame rate during animations.
QImage tinted(const QString& name, int pixels, QColor color)
{
    static QCache<QString, QImage> cache(256);
    const QString key = QStringLiteral("%1|%2|%3").arg(name).arg(pixels).arg(color.rgba(), 8, 16);
    if (QImage* hit = cache.object(key))
        return *hit;

    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    if (QSvgRenderer* renderer = rendererFor(name)) {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        renderer->render(&p, QRectF(0, 0, pixels, pixels));
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(image.rect(), color);
    }
    cache.insert(key, new QImage(image));
    return image;
}

} // namespace

namespace SymbolIcon {

bool exists(const QString& name)
{
    ensureResources();
    return QFile::exists(pathOf(name));
}

QRectF box(const QPointF& centre, qreal size)
{
    // A symbol at a font size of n fills roughly an n-high em box; the artwork has a small margin.
    const qreal side = size * 1.2;
    return QRectF(centre.x() - side / 2, centre.y() - side / 2, side, side);
}

void paint(QPainter& painter, const QString& name, const QRectF& rect, const QColor& color)
{
    if (!rendererFor(name) || rect.isEmpty() || color.alpha() == 0)
        return;
    const qreal side = std::min(rect.width(), rect.height());
    const QRectF square(rect.center().x() - side / 2, rect.center().y() - side / 2, side, side);
    const qreal scale = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const int pixels = std::max(1, int(std::ceil(side * scale * painter.worldTransform().m11())));
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(square, tinted(name, pixels, color));
    painter.restore();
}

} // namespace SymbolIcon
