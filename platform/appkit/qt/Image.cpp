#include "platform/appkit/qt/Image.h"

#include <QFile>
#include <QIconEngine>
#include <QImageReader>
#include <QPainter>
#include <QSvgRenderer>

#include "platform/appkit/qt/BundleResources.h"
#include "platform/appkit/qt/SystemSymbols.h"

namespace appkit {

namespace {

// A template drawn for a disabled control keeps its colour at this strength.
constexpr double kDisabledOpacity = 0.35;

QRect centredRect(QSizeF content, QSize area) {
    const QSize fitted = content.isEmpty() ? area : content.scaled(QSizeF(area), Qt::KeepAspectRatio).toSize();
    return QRect(QPoint((area.width() - fitted.width()) / 2, (area.height() - fitted.height()) / 2), fitted);
}

QImage transparentImage(QSize pixelSize) {
    QImage image(pixelSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

class SvgSource final : public Image::Source {
public:
    explicit SvgSource(const QByteArray& data) : renderer_(data) {}
    [[nodiscard]] bool isValid() const { return renderer_.isValid(); }
    [[nodiscard]] QSizeF defaultSize() const { return renderer_.defaultSize(); }

    QImage render(QSize pixelSize) const override {
        QImage image = transparentImage(pixelSize);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer_.render(&painter, centredRect(renderer_.viewBoxF().size(), pixelSize));
        return image;
    }

private:
    // QSvgRenderer::render is not const, though drawing changes nothing a caller sees.
    mutable QSvgRenderer renderer_;
};

class IconSource final : public Image::Source {
public:
    explicit IconSource(QIcon icon) : icon_(std::move(icon)) {}

    QImage render(QSize pixelSize) const override {
        QImage image = transparentImage(pixelSize);
        QPainter painter(&image);
        icon_.paint(&painter, QRect(QPoint(0, 0), pixelSize));
        return image;
    }

private:
    QIcon icon_;
};

class RasterSource final : public Image::Source {
public:
    explicit RasterSource(QImage image) : image_(std::move(image)) {}

    QImage render(QSize pixelSize) const override {
        QImage image = transparentImage(pixelSize);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(centredRect(image_.size(), pixelSize), image_);
        return image;
    }

private:
    QImage image_;
};

// Draws an Image for QIcon at each size asked, so icons stay sharp at any scale.
class ImageIconEngine final : public QIconEngine {
public:
    ImageIconEngine(Image image, QColor templateColor) : image_(std::move(image)), color_(templateColor) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
        const qreal ratio = painter->device() != nullptr ? painter->device()->devicePixelRatioF() : 1.0;
        QImage image = renderFor((QSizeF(rect.size()) * ratio).toSize(), mode, state);
        image.setDevicePixelRatio(ratio);
        painter->drawImage(rect, image);
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return QPixmap::fromImage(renderFor(size, mode, state));
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override {
        QPixmap pixmap = QPixmap::fromImage(renderFor((QSizeF(size) * scale).toSize(), mode, state));
        pixmap.setDevicePixelRatio(scale);
        return pixmap;
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }
    QIconEngine* clone() const override { return new ImageIconEngine(image_, color_); }
    bool isNull() override { return false; }

private:
    QImage renderFor(QSize pixelSize, QIcon::Mode mode, QIcon::State) const {
        if (pixelSize.isEmpty()) {
            return {};
        }
        if (mode != QIcon::Disabled) {
            return image_.render(pixelSize, color_);
        }
        QColor faint = color_;
        faint.setAlphaF(static_cast<float>(color_.alphaF() * kDisabledOpacity));
        if (image_.isTemplate()) {
            return image_.render(pixelSize, faint);
        }
        QImage image = transparentImage(pixelSize);
        QPainter painter(&image);
        painter.setOpacity(kDisabledOpacity);
        painter.drawImage(0, 0, image_.render(pixelSize, color_));
        return image;
    }

    Image image_;
    QColor color_;
};

QString qPath(const std::filesystem::path& path) { return QString::fromStdString(path.string()); }

}  // namespace

std::optional<Image> Image::imageWithContentsOfFile(const std::filesystem::path& path) {
    QFile file(qPath(path));
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    if (path.extension() == ".svg") {
        auto source = std::make_shared<SvgSource>(file.readAll());
        if (!source->isValid()) {
            return std::nullopt;
        }
        const QSizeF size = source->defaultSize();
        return Image(std::move(source), size);
    }
    QImageReader reader(&file);
    QImage image = reader.read();
    if (image.isNull()) {
        return std::nullopt;
    }
    const QSizeF size = image.deviceIndependentSize();
    return Image(std::make_shared<RasterSource>(std::move(image)), size);
}

std::optional<Image> Image::imageNamed(std::string_view name) {
    const auto folder = resourcesDirectory();
    if (!folder || name.empty() || name.find('/') != std::string_view::npos) {
        return std::nullopt;
    }
    for (const char* extension : {".svg", ".png"}) {
        auto image = imageWithContentsOfFile(*folder / (std::string(name) + extension));
        if (!image) {
            continue;
        }
        image->setTemplate(name.ends_with("Template"));
        return image;
    }
    return std::nullopt;
}

std::optional<Image> Image::imageWithSystemSymbolName(std::string_view name, std::string accessibilityDescription) {
    const SystemSymbol* symbol = systemSymbolNamed(name);
    if (symbol == nullptr) {
        return std::nullopt;
    }
    const QSizeF symbolSize(kSymbolPointSize, kSymbolPointSize);
    std::optional<Image> image;
    for (const std::string_view themeName : symbol->themeIconNames) {
        const QString qName = QString::fromUtf8(themeName.data(), static_cast<qsizetype>(themeName.size()));
        if (QIcon::hasThemeIcon(qName)) {
            image = Image(std::make_shared<IconSource>(QIcon::fromTheme(qName)), symbolSize);
            break;
        }
    }
    if (!image) {
        if (const auto folder = resourcesDirectory()) {
            image = imageWithContentsOfFile(*folder / kSymbolsFolder / (std::string(name) + ".svg"));
        }
    }
    if (!image) {
        return std::nullopt;
    }
    image->setSize(symbolSize);
    image->setTemplate(true);
    image->setAccessibilityDescription(std::move(accessibilityDescription));
    return image;
}

QImage Image::render(QSize pixelSize, const QColor& templateColor) const {
    QImage image = source_->render(pixelSize);
    if (!isTemplate_) {
        return image;
    }
    QPainter painter(&image);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(image.rect(), templateColor);
    return image;
}

QIcon Image::icon(const QColor& templateColor) const { return QIcon(new ImageIconEngine(*this, templateColor)); }

}  // namespace appkit
