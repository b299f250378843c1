#include "platform/appkit/qt/ApplicationIcon.h"

#include <QImage>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace appkit {
namespace {

namespace fs = std::filesystem;

struct IconCase {
    std::string name;
    std::optional<std::string> iconFileEntry;  // CFBundleIconFile; none leaves it out
    std::string fileOnDisk;                    // under Contents/Resources ("" for none)
    bool hasIcon;
};

class ApplicationIconTest : public ::testing::Test {
protected:
    ~ApplicationIconTest() override { fs::remove_all(root_); }

    fs::path makeBundle(const IconCase& iconCase) {
        const fs::path bundle = root_ / (iconCase.name + ".app");
        fs::create_directories(bundle / "Contents" / "Resources");
        std::ofstream plist(bundle / "Contents" / "Info.plist");
        plist << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
              << "<key>CFBundleIdentifier</key><string>com.example.icon</string>";
        if (iconCase.iconFileEntry) {
            plist << "<key>CFBundleIconFile</key><string>" << *iconCase.iconFileEntry << "</string>";
        }
        plist << "</dict></plist>\n";
        if (!iconCase.fileOnDisk.empty()) {
            const fs::path file = bundle / "Contents" / "Resources" / iconCase.fileOnDisk;
            fs::create_directories(file.parent_path());
            QImage pixels(8, 8, QImage::Format_ARGB32);
            pixels.fill(Qt::blue);
            pixels.save(QString::fromStdString(file.string()), "PNG");
        }
        return bundle;
    }

    const fs::path root_ = fs::temp_directory_path() / ("tonvale-icons-" + std::to_string(::getpid()));
};

TEST_F(ApplicationIconTest, IconForFile_TakesTheFileTheBundleDeclaresInsideItsResources) {
    const std::vector<IconCase> cases = {
        {"WithoutExtension", "AppIcon", "AppIcon.png", true},
        {"WithExtension", "AppIcon.png", "AppIcon.png", true},
        {"MissingFile", "AppIcon", "", false},
        {"NoEntry", std::nullopt, "AppIcon.png", false},
        {"LeadsOutside", "../Escaped", "../Escaped.png", false},
        {"Unreadable", "Broken.png", "", false},
    };
    for (const IconCase& iconCase : cases) {
        SCOPED_TRACE(iconCase.name);
        const fs::path bundle = makeBundle(iconCase);
        if (iconCase.name == "Unreadable") {
            std::ofstream(bundle / "Contents" / "Resources" / "Broken.png") << "not an image";
        }

        const auto icon = iconForFile(bundle);

        ASSERT_EQ(icon.has_value(), iconCase.hasIcon);
        if (icon) {
            EXPECT_FALSE(icon->isTemplate()) << "an application's icon keeps its colours";
            EXPECT_EQ(QColor(icon->render(QSize(16, 16), Qt::red).pixel(8, 8)), QColor(Qt::blue));
        }
    }
    EXPECT_FALSE(iconForFile(root_ / "NotABundle").has_value());
}

}  // namespace
}  // namespace appkit
