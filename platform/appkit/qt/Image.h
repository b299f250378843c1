// An image as the interface uses it: a system symbol, one of the application's own
// resources, or an application's icon; scalable, with a size in points, an
// accessibility description and a template flag. A template image is drawn in one
// colour that its user chooses (its shape only), as symbols and the tray icon are.
//
// Cheap to copy: copies share the decoded source. Main thread only (needs the
// QGuiApplication).
#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QSize>
#include <QSizeF>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace appkit {

class Image {
public:
    // What draws an image's pixels at a given size.
    class Source {
    public:
        virtual ~Source() = default;
        [[nodiscard]] virtual QImage render(QSize pixelSize) const = 0;
    };

    // Points at which a symbol is drawn unless its user sets a size.
    static constexpr double kSymbolPointSize = 16.0;

    // The application's own image resource <name>.svg or <name>.png in the resources
    // folder; a name ending in "Template" gives a template image. None when absent.
    [[nodiscard]] static std::optional<Image> imageNamed(std::string_view name);

    // A system symbol (see SystemSymbols.h): the desktop icon theme's fitting icon where
    // it has one, else the drawing shipped in the resources; a template image. None for
    // a name the program does not know, or when neither source has it.
    [[nodiscard]] static std::optional<Image> imageWithSystemSymbolName(std::string_view name,
                                                                        std::string accessibilityDescription = {});

    // The image in a file (SVG, PNG or any format Qt reads); none when it cannot be read.
    [[nodiscard]] static std::optional<Image> imageWithContentsOfFile(const std::filesystem::path& path);

    [[nodiscard]] bool isTemplate() const { return isTemplate_; }
    void setTemplate(bool isTemplate) { isTemplate_ = isTemplate; }

    // The size in points at which the image is drawn by default.
    [[nodiscard]] QSizeF size() const { return size_; }
    void setSize(QSizeF size) { size_ = size; }

    [[nodiscard]] const std::string& accessibilityDescription() const { return accessibilityDescription_; }
    void setAccessibilityDescription(std::string description) { accessibilityDescription_ = std::move(description); }

    // The image at pixelSize, aspect kept and centred; a template image in templateColor.
    [[nodiscard]] QImage render(QSize pixelSize, const QColor& templateColor) const;
    // An icon drawing the image at whatever size a widget asks, sharp at any pixel
    // ratio; a template image in templateColor (fainter when disabled).
    [[nodiscard]] QIcon icon(const QColor& templateColor) const;

private:
    Image(std::shared_ptr<const Source> source, QSizeF size) : source_(std::move(source)), size_(size) {}

    std::shared_ptr<const Source> source_;
    QSizeF size_;
    bool isTemplate_ = false;
    std::string accessibilityDescription_;
};

}  // namespace appkit
