#include "platform/appkit/qt/Image.h"

#include <QIcon>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/appkit/qt/BundleResources.h"
#include "platform/appkit/qt/SystemSymbols.h"

namespace appkit {
namespace {

namespace fs = std::filesystem;

constexpr QSize kPixels(32, 32);

// Symbols come from a theme the test makes (which has only the high-volume speaker,
// drawn as a full square) and from the drawings the bundle ships.
class ImageTest : public ::testing::Test {
protected:
    ImageTest() {
        fs::create_directories(themes_ / "Test" / "symbolic");
        std::ofstream(themes_ / "Test" / "index.theme")
            << "[Icon Theme]\nName=Test\nDirectories=symbolic\n\n[symbolic]\nSize=16\nType=Scalable\n";
        std::ofstream(themes_ / "Test" / "symbolic" / "audio-volume-high-symbolic.svg")
            << R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 16 16"><rect width="16" height="16"/></svg>)";
        savedThemeName_ = QIcon::themeName();
        savedSearchPaths_ = QIcon::themeSearchPaths();
        savedFallbackTheme_ = QIcon::fallbackThemeName();
        QIcon::setThemeSearchPaths({QString::fromStdString(themes_.string())});
        QIcon::setFallbackThemeName(QStringLiteral("Test"));
        QIcon::setThemeName(QStringLiteral("Test"));
        setResourcesDirectory(fs::path(TONVALE_BUNDLE_RESOURCES));
    }
    ~ImageTest() override {
        setResourcesDirectory(std::nullopt);
        QIcon::setThemeSearchPaths(savedSearchPaths_);
        QIcon::setFallbackThemeName(savedFallbackTheme_);
        QIcon::setThemeName(savedThemeName_);
        fs::remove_all(themes_);
    }

    static int opaquePixels(const QImage& image) {
        int count = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                count += qAlpha(image.pixel(x, y)) > 0 ? 1 : 0;
            }
        }
        return count;
    }

    const fs::path themes_ = fs::temp_directory_path() / ("tonvale-themes-" + std::to_string(::getpid()));
    QString savedThemeName_;
    QStringList savedSearchPaths_;
    QString savedFallbackTheme_;
};

TEST_F(ImageTest, EverySymbol_DrawsAsATemplateFromTheThemeOrTheShippedDrawing) {
    for (const SystemSymbol& symbol : systemSymbols()) {
        SCOPED_TRACE(std::string(symbol.name));
        const auto image = Image::imageWithSystemSymbolName(symbol.name, "Tonvale");
        ASSERT_TRUE(image.has_value());
        EXPECT_TRUE(image->isTemplate());
        EXPECT_EQ(image->accessibilityDescription(), "Tonvale");
        EXPECT_EQ(image->size(), QSizeF(Image::kSymbolPointSize, Image::kSymbolPointSize));
        const int drawn = opaquePixels(image->render(kPixels, Qt::black));
        EXPECT_GT(drawn, 0);
        // Only the theme's icon, a full square, fills every pixel.
        const bool isFromTheme = symbol.name == "speaker.wave.2.fill";
        EXPECT_EQ(drawn == kPixels.width() * kPixels.height(), isFromTheme);
    }
    EXPECT_FALSE(Image::imageWithSystemSymbolName("no.such.symbol").has_value());
}

TEST_F(ImageTest, TemplateImages_AreDrawnInTheGivenColourKeepingOnlyTheirShape) {
    auto image = Image::imageWithSystemSymbolName("heart.fill");
    ASSERT_TRUE(image.has_value());
    const QColor red(255, 0, 0);
    const QImage tinted = image->render(kPixels, red);
    const QRgb centre = tinted.pixel(kPixels.width() / 2, kPixels.height() / 2);
    EXPECT_EQ(qAlpha(centre), 255);
    EXPECT_EQ(QColor(centre).rgb(), red.rgb());
    EXPECT_EQ(qAlpha(tinted.pixel(0, 0)), 0) << "the background stays clear";

    image->setTemplate(false);
    EXPECT_NE(QColor(image->render(kPixels, red).pixel(kPixels.width() / 2, kPixels.height() / 2)).rgb(), red.rgb())
        << "a non-template image keeps its own colours";
    EXPECT_FALSE(image->icon(red).pixmap(kPixels).isNull());
}

}  // namespace
}  // namespace appkit
