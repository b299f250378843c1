// Draws the mixer popover (MixerPopoverView): the header, the output and input, the list of
// application rows, the banner, the settings area and the links row, and turns the popover's
// own controls into their actions. It observes the app state controller and redraws once per
// main-queue turn in which anything changed, and only while it is shown (it catches up when
// it is shown again). Rows are kept per bundle identifier and reused, never rebuilt.
//
// Given less height than it asks for (a small screen), the list gives way first and scrolls,
// down to a shortest height; then everything between the header and the links row scrolls,
// so the links row with Quit always stays in view.
//
// Rows do not move under the pointer: while it is over the list, or a row's slider is dragged
// or its output list is open, rows keep their places (a new one joins at the end) and no row
// goes away; the controller's order takes over once the pointer leaves the list and nothing
// is held, or at the next opening.
// Main thread only; owned by the status item's popover, or by whoever renders a picture.
#pragma once

#include <QWidget>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/combine/AnyCancellable.h"
#include "ui/MixerPopoverView.h"
#include "ui/ProductLinks.h"

class QLabel;
class QPushButton;
class QScrollArea;
class QToolButton;
class QVBoxLayout;

namespace tonvale {

class AppStateController;
class ElidedLabel;
class LinksRowWidget;
class MenuPicker;
class MixerAppRowWidget;
class SettingsAreaWidget;
class SymbolLabel;

class MixerPopoverWidget final : public QWidget {
public:
    static constexpr int kPlaceholderHeight = 190;
    static constexpr int kListMinimumHeight = 170;
    static constexpr int kListMaximumHeight = 360;
    // How short the list may get where the screen leaves too little room.
    static constexpr int kListShortestHeight = 100;

    explicit MixerPopoverWidget(std::shared_ptr<AppStateController> model,
                                ProductLinks links = ProductLinks::standard(), QWidget* parent = nullptr);

    // Shows the controller's state as it is now.
    void redraw();
    // Redraws so far, for tests of the coalescing.
    [[nodiscard]] int redrawCount() const { return redrawCount_; }

    // The height it needs to show everything, the list at its own height.
    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] bool hasHeightForWidth() const override { return false; }

    // The row of the app, if it is listed.
    [[nodiscard]] MixerAppRowWidget* rowWidget(const std::string& bundleID) const;
    // The listed rows, top to bottom.
    [[nodiscard]] std::vector<MixerAppRowWidget*> listedRows() const;
    [[nodiscard]] QWidget& placeholder() const { return *placeholder_; }
    [[nodiscard]] QScrollArea& list() const { return *list_; }
    [[nodiscard]] QScrollArea& body() const { return *body_; }
    [[nodiscard]] MenuPicker& inputPicker() const { return *inputPicker_; }
    [[nodiscard]] QWidget& bluetoothWarning() const;
    [[nodiscard]] QWidget& banner() const { return *banner_; }
    [[nodiscard]] QLabel& bannerText() const { return *bannerText_; }
    [[nodiscard]] QToolButton& closeBannerButton() const { return *closeBanner_; }
    [[nodiscard]] SettingsAreaWidget& settings() const { return *settings_; }
    [[nodiscard]] QWidget& linksRow() const;
    // The push button with that title anywhere in the popover; nullptr when there is none.
    [[nodiscard]] QPushButton* button(const char* title) const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* makeHeader();
    QWidget* makeDeviceGrid();
    QWidget* makeBanner();
    void showRows(const std::vector<MixerAppRow>& rows, bool mayRearrange);
    void showBanner(const std::optional<Label>& banner);
    void inputChosen(int index);
    // Whether the pointer is over the list or a row's control is held.
    [[nodiscard]] bool isListHeld() const;
    // Puts the rows in the controller's order once nothing holds them any more.
    void rearrangeIfLetGo();
    // Tab goes from the input picker through the rows in their order.
    void orderRowsForTab();
    // Shares height out among the list and the scrolling body.
    void fitTo(int height);

    const std::shared_ptr<AppStateController> model_;
    const ProductLinks links_;
    std::optional<MixerPopoverView> shown_;
    bool isStale_ = true;
    bool isPointerOverList_ = false;
    bool hasDeferredOrder_ = false;
    int redrawCount_ = 0;
    int naturalListHeight_ = kListMinimumHeight;

    SymbolLabel* routingBadge_ = nullptr;
    ElidedLabel* outputName_ = nullptr;
    MenuPicker* inputPicker_ = nullptr;
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
    QWidget* bodyContent_ = nullptr;
    QScrollArea* body_ = nullptr;
    LinksRowWidget* linksRow_ = nullptr;
    combine::AnyCancellable observation_;
};

}  // namespace tonvale
