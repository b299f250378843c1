// Draws the mixer popover (MixerPopoverView): the header, the output and input, the list of
// application rows, the banner and the settings area with the links, and turns the popover's
// own controls into their actions. It observes the app state controller and redraws once per
// main-queue turn in which anything changed, and only while it is shown (it catches up when
// it is shown again). Rows are kept per bundle identifier and reused, never rebuilt.
// Main thread only; owned by the status item's popover, or by whoever renders a picture.
#pragma once

#include <QWidget>

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/combine/AnyCancellable.h"
#include "ui/MixerPopoverView.h"
#include "ui/ProductLinks.h"

class QComboBox;
class QLabel;
class QPushButton;
class QScrollArea;
class QToolButton;
class QVBoxLayout;

namespace tonvale {

class AppStateController;
class MixerAppRowWidget;
class SettingsAreaWidget;
class SymbolLabel;

class MixerPopoverWidget final : public QWidget {
public:
    static constexpr int kPlaceholderHeight = 190;
    static constexpr int kListMinimumHeight = 170;
    static constexpr int kListMaximumHeight = 360;

    explicit MixerPopoverWidget(std::shared_ptr<AppStateController> model,
                                ProductLinks links = ProductLinks::standard(), QWidget* parent = nullptr);

    // Shows the controller's state as it is now.
    void redraw();
    // Redraws so far, for tests of the coalescing.
    [[nodiscard]] int redrawCount() const { return redrawCount_; }

    // The row of the app, if it is listed.
    [[nodiscard]] MixerAppRowWidget* rowWidget(const std::string& bundleID) const;
    [[nodiscard]] QWidget& placeholder() const { return *placeholder_; }
    [[nodiscard]] QScrollArea& list() const { return *list_; }
    [[nodiscard]] QComboBox& inputPicker() const { return *inputPicker_; }
    [[nodiscard]] QWidget& bluetoothWarning() const;
    [[nodiscard]] QWidget& banner() const { return *banner_; }
    [[nodiscard]] QLabel& bannerText() const { return *bannerText_; }
    [[nodiscard]] QToolButton& closeBannerButton() const { return *closeBanner_; }
    [[nodiscard]] SettingsAreaWidget& settings() const { return *settings_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* makeHeader();
    QWidget* makeDeviceGrid();
    QWidget* makeBanner();
    void showRows(const std::vector<MixerAppRow>& rows);
    void showBanner(const std::optional<Label>& banner);
    void inputChosen(int index);

    const std::shared_ptr<AppStateController> model_;
    const ProductLinks links_;
    std::optional<MixerPopoverView> shown_;
    bool isStale_ = true;
    int redrawCount_ = 0;

    SymbolLabel* routingBadge_ = nullptr;
    QLabel* outputName_ = nullptr;
    QComboBox* inputPicker_ = nullptr;
    QLabel* noInputDevices_ = nullptr;
    SymbolLabel* bluetoothWarning_ = nullptr;
    QWidget* bluetoothPlaceholder_ = nullptr;
    QWidget* placeholder_ = nullptr;
    QScrollArea* list_ = nullptr;
    QVBoxLayout* rowsLayout_ = nullptr;
    std::map<std::string, MixerAppRowWidget*> rows_;
    QWidget* banner_ = nullptr;
    QLabel* bannerSymbol_ = nullptr;
    QLabel* bannerText_ = nullptr;
    QToolButton* closeBanner_ = nullptr;
    SettingsAreaWidget* settings_ = nullptr;
    combine::AnyCancellable observation_;
};

}  // namespace tonvale
