// A tray application in miniature, for the real-desktop tray test until the program's
// own tray application drives it: a status item whose button (left or right click)
// toggles a popover that shows every system symbol. It runs on Qt's event loop as an
// accessory application and ends through the normal termination sequence, SIGTERM
// included, printing one line at each step.
#include <QApplication>
#include <QGridLayout>
#include <QLabel>

#include <cstdio>
#include <memory>
#include <string>

#include "platform/appkit/Application.h"
#include "platform/appkit/qt/BundleResources.h"
#include "platform/appkit/qt/Image.h"
#include "platform/appkit/qt/Popover.h"
#include "platform/appkit/qt/QtEventLoop.h"
#include "platform/appkit/qt/StatusBar.h"
#include "platform/appkit/qt/SystemColors.h"
#include "platform/appkit/qt/SystemSymbols.h"

namespace {

using namespace appkit;

constexpr int kSymbolPixels = 20;
constexpr int kColumns = 2;

void say(const char* line) {
    std::printf("tray-demo: %s\n", line);
    std::fflush(stdout);
}

std::unique_ptr<QWidget> symbolSheet() {
    auto sheet = std::make_unique<QWidget>();
    auto* grid = new QGridLayout(sheet.get());
    auto* title = new QLabel(QStringLiteral("<b>Tonvale</b><br>Per-app volume and output"));
    grid->addWidget(title, 0, 0, 1, kColumns * 2);
    int index = 0;
    for (const SystemSymbol& symbol : systemSymbols()) {
        auto* picture = new QLabel;
        if (const auto image = Image::imageWithSystemSymbolName(symbol.name)) {
            picture->setPixmap(image->icon(systemColor(Color::labelColor)).pixmap(kSymbolPixels, kSymbolPixels));
        }
        const int row = 1 + index / kColumns;
        const int column = (index % kColumns) * 2;
        grid->addWidget(picture, row, column);
        grid->addWidget(new QLabel(QString::fromUtf8(symbol.name.data(), static_cast<int>(symbol.name.size()))), row,
                        column + 1);
        ++index;
    }
    return sheet;
}

class TrayDemo final : public ApplicationDelegate {
public:
    void applicationDidFinishLaunching() override {
        statusItem_ = StatusBar::systemStatusBar().statusItemWithLength(NSSquareStatusItemLength);
        StatusBarButton* button = statusItem_->button();
        if (button == nullptr) {
            say("no system tray");
            return;
        }
        auto image = Image::imageWithSystemSymbolName("speaker.wave.2.fill", "Tonvale");
        if (image) {
            image->setSize(QSizeF(18, 18));
        }
        button->setImage(image);
        button->setToolTip("Tonvale");
        button->setAction([this](StatusBarButton& sender) { togglePopover(sender); });
        button->sendActionOn(NSEventMaskLeftMouseUp | NSEventMaskRightMouseUp);
        say("status item shown");
    }

    void applicationWillTerminate() override {
        popover_.reset();
        statusItem_.reset();
        say("terminating");
    }

private:
    void togglePopover(StatusBarButton& sender) {
        if (!popover_) {
            popover_ = std::make_unique<Popover>();
            popover_->setBehavior(PopoverBehavior::transient);
            popover_->setAnimates(true);
            popover_->setContentSize(QSize(440, 620));
            popover_->setContentWidget(symbolSheet());
        }
        if (popover_->isShown()) {
            popover_->performClose();
            return;
        }
        popover_->showRelativeToRect(sender.bounds(), sender, RectEdge::minY);
        say("popover shown");
    }

    std::shared_ptr<StatusItem> statusItem_;
    std::unique_ptr<Popover> popover_;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication qtApplication(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Tonvale"));
    setResourcesDirectory(std::filesystem::path(TONVALE_BUNDLE_RESOURCES));
    Application application;
    QtEventLoop loop;
    TrayDemo delegate;
    application.setEventLoop(&loop);
    application.setActivationPolicy(ActivationPolicy::accessory);
    application.setDelegate(&delegate);
    return application.run();
}
