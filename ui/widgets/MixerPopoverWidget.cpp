#include "ui/widgets/MixerPopoverWidget.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <set>

#include "state/AppStateController.h"
#include "ui/widgets/MixerAppRowWidget.h"
#include "ui/widgets/SettingsAreaWidget.h"
#include "ui/widgets/SymbolLabel.h"
#include "ui/widgets/ViewStyle.h"

namespace tonvale {

namespace {

constexpr int kHorizontalPadding = 14;
constexpr double kBannerOpacity = 0.08;
constexpr int kPlaceholderSymbolSize = 32;

QLabel* styledLabel(const char* text, TextStyle style, appkit::Color color = appkit::Color::labelColor) {
    auto* label = new QLabel;
    label->setFont(fontFor(style));
    label->setTextFormat(Qt::PlainText);
    showText(*label, {text, {}, color});
    return label;
}

QPixmap symbolPixmap(const Label& label, int size) {
    return symbolIcon(label.symbolName, label.color).pixmap(size, size);
}

}  // namespace

MixerPopoverWidget::MixerPopoverWidget(std::shared_ptr<AppStateController> model, ProductLinks links, QWidget* parent)
    : QWidget(parent), model_(std::move(model)), links_(std::move(links)) {
    setFixedWidth(MixerPopoverView::kWidth);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->addWidget(makeHeader());
    outer->addWidget(makeDivider());
    outer->addWidget(makeDeviceGrid());
    outer->addWidget(makeDivider());

    placeholder_ = new QWidget;
    placeholder_->setFixedHeight(kPlaceholderHeight);
    auto* placeholderLayout = new QVBoxLayout(placeholder_);
    placeholderLayout->setAlignment(Qt::AlignCenter);
    auto* placeholderSymbol = new QLabel;
    placeholderSymbol->setPixmap(symbolPixmap({{}, MixerPopoverView::kNoAppsSymbol, appkit::Color::secondaryLabelColor},
                                              kPlaceholderSymbolSize));
    placeholderSymbol->setAlignment(Qt::AlignCenter);
    auto* placeholderTitle = styledLabel(MixerPopoverView::kNoAppsTitle, TextStyle::headline);
    auto* placeholderDescription =
        styledLabel(MixerPopoverView::kNoAppsDescription, TextStyle::callout, appkit::Color::secondaryLabelColor);
    for (QLabel* label : {placeholderSymbol, placeholderTitle, placeholderDescription}) {
        label->setAlignment(Qt::AlignCenter);
        placeholderLayout->addWidget(label);
    }
    outer->addWidget(placeholder_);

    auto* rowsContainer = new QWidget;
    rowsLayout_ = new QVBoxLayout(rowsContainer);
    rowsLayout_->setContentsMargins(0, 0, 0, 0);
    rowsLayout_->setSpacing(0);
    rowsLayout_->addStretch();
    list_ = new QScrollArea;
    list_->setWidgetResizable(true);
    list_->setFrameShape(QFrame::NoFrame);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setWidget(rowsContainer);
    outer->addWidget(list_);
    outer->addWidget(makeDivider());

    outer->addWidget(makeBanner());
    settings_ = new SettingsAreaWidget(*model_, links_);
    outer->addWidget(settings_);

    observation_ = model_->observeChanges([this] { redraw(); });
}

QWidget* MixerPopoverWidget::makeHeader() {
    auto* header = new QWidget;
    auto* layout = new QHBoxLayout(header);
    layout->setContentsMargins(kHorizontalPadding, 11, kHorizontalPadding, 11);
    layout->setSpacing(10);

    auto* symbol = new QLabel;
    const int symbolSize = QFontMetrics(fontFor(TextStyle::title3)).height();
    symbol->setPixmap(
        symbolPixmap({{}, MixerPopoverView::kHeaderSymbol, appkit::Color::controlAccentColor}, symbolSize));
    layout->addWidget(symbol);

    auto* titles = new QVBoxLayout;
    titles->setSpacing(1);
    titles->addWidget(styledLabel(MixerPopoverView::kTitle, TextStyle::headline));
    titles->addWidget(styledLabel(MixerPopoverView::kSubtitle, TextStyle::caption, appkit::Color::secondaryLabelColor));
    layout->addLayout(titles);
    layout->addStretch();

    routingBadge_ = new SymbolLabel(TextStyle::caption);
    routingBadge_->setLabel(MixerPopoverView::routingBadge());
    routingBadge_->hide();
    layout->addWidget(routingBadge_);

    const Label supportLabel = MixerPopoverView::supportButton();
    auto* support = new QPushButton(qText(supportLabel.title));
    support->setIcon(symbolIcon(supportLabel.symbolName, supportLabel.color));
    support->setFont(fontFor(TextStyle::caption, QFont::Medium));
    QPalette tint = support->palette();
    tint.setColor(QPalette::ButtonText, colorFor(supportLabel.color));
    support->setPalette(tint);
    support->setToolTip(qText(supportLabel.helpText));
    support->setAccessibleName(qText(supportLabel.helpText));
    support->setAccessibleDescription(MixerPopoverView::kSupportAccessibilityHint);
    connect(support, &QPushButton::clicked, this, [this] { MixerPopoverView::openSupportPage(links_); });
    layout->addWidget(support);
    return header;
}

QWidget* MixerPopoverWidget::makeDeviceGrid() {
    auto* devices = new QWidget;
    devices->setFont(fontFor(TextStyle::callout));
    auto* grid = new QGridLayout(devices);
    grid->setContentsMargins(kHorizontalPadding, 10, kHorizontalPadding, 10);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(8);
    grid->setColumnStretch(1, 1);

    auto* outputTitle = new SymbolLabel(TextStyle::callout);
    outputTitle->setLabel(MixerPopoverView::outputTitle());
    outputName_ = new QLabel;
    outputName_->setTextFormat(Qt::PlainText);
    outputName_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    grid->addWidget(outputTitle, 0, 0);
    grid->addWidget(outputName_, 0, 1);

    auto* inputTitle = new SymbolLabel(TextStyle::callout);
    inputTitle->setLabel(MixerPopoverView::inputTitle());
    inputPicker_ = new QComboBox;
    inputPicker_->setAccessibleName(MixerPopoverView::kInputPickerLabel);
    connect(inputPicker_, &QComboBox::activated, this, &MixerPopoverWidget::inputChosen);
    noInputDevices_ =
        styledLabel(MixerPopoverView::kNoInputDevices, TextStyle::callout, appkit::Color::secondaryLabelColor);
    auto* input = new QWidget;
    auto* inputLayout = new QHBoxLayout(input);
    inputLayout->setContentsMargins(0, 0, 0, 0);
    inputLayout->addWidget(inputPicker_, 1);
    inputLayout->addWidget(noInputDevices_, 1);
    grid->addWidget(inputTitle, 1, 0);
    grid->addWidget(input, 1, 1);

    bluetoothPlaceholder_ = new QWidget;
    bluetoothPlaceholder_->setFixedSize(1, 1);
    bluetoothWarning_ = new SymbolLabel(TextStyle::caption);
    bluetoothWarning_->setWordWrap(true);
    grid->addWidget(bluetoothPlaceholder_, 2, 0);
    grid->addWidget(bluetoothWarning_, 2, 1);
    return devices;
}

QWidget* MixerPopoverWidget::makeBanner() {
    banner_ = new QWidget;
    banner_->setAutoFillBackground(true);
    auto* layout = new QHBoxLayout(banner_);
    layout->setContentsMargins(kHorizontalPadding, 8, kHorizontalPadding, 8);
    layout->setSpacing(7);
    bannerSymbol_ = new QLabel;
    bannerText_ = new QLabel;
    bannerText_->setFont(fontFor(TextStyle::caption));
    bannerText_->setTextFormat(Qt::PlainText);
    bannerText_->setWordWrap(true);
    bannerText_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    closeBanner_ = new QToolButton;
    showSymbolButton(*closeBanner_, {{}, MixerPopoverView::kCloseBannerSymbol, appkit::Color::secondaryLabelColor});
    connect(closeBanner_, &QToolButton::clicked, this, [this] { MixerPopoverView::closeBanner(*model_); });
    layout->addWidget(bannerSymbol_, 0, Qt::AlignTop);
    layout->addWidget(bannerText_, 1, Qt::AlignTop);
    layout->addWidget(closeBanner_, 0, Qt::AlignTop);
    banner_->hide();
    return banner_;
}

QWidget& MixerPopoverWidget::bluetoothWarning() const { return *bluetoothWarning_; }

MixerAppRowWidget* MixerPopoverWidget::rowWidget(const std::string& bundleID) const {
    const auto found = rows_.find(bundleID);
    return found == rows_.end() ? nullptr : found->second;
}

void MixerPopoverWidget::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Every opening looks the icons up again, so an app installed meanwhile shows its own.
    for (const auto& [bundleID, row] : rows_) {
        row->lookUpIcon();
    }
    if (isStale_) {
        redraw();
    }
}

void MixerPopoverWidget::redraw() {
    if (!isVisible()) {
        isStale_ = true;
        return;
    }
    isStale_ = false;
    ++redrawCount_;
    MixerPopoverView view(*model_);

    routingBadge_->setVisible(view.isRoutingBadgeShown());
    outputName_->setText(qText(view.outputName()));

    const bool hasInputs = !view.inputChoices().empty();
    inputPicker_->setVisible(hasInputs);
    noInputDevices_->setVisible(!hasInputs);
    const QSignalBlocker quiet(inputPicker_);
    if (!shown_ || shown_->inputChoices() != view.inputChoices()) {
        inputPicker_->clear();
        for (const MixerPopoverView::InputChoice& choice : view.inputChoices()) {
            inputPicker_->addItem(qText(choice.title));
        }
    }
    const auto& inputs = view.inputChoices();
    const auto selected = std::find_if(inputs.begin(), inputs.end(),
                                       [&view](const auto& choice) { return choice.deviceID == view.selectedInput(); });
    inputPicker_->setCurrentIndex(selected == inputs.end() ? -1 : static_cast<int>(selected - inputs.begin()));

    const auto warning = view.bluetoothWarning();
    bluetoothWarning_->setVisible(warning.has_value());
    bluetoothPlaceholder_->setVisible(warning.has_value());
    if (warning) {
        bluetoothWarning_->setLabel(*warning);
    }

    showRows(view.rows());
    showBanner(view.banner());
    settings_->redraw();
    shown_ = std::move(view);
}

void MixerPopoverWidget::showRows(const std::vector<MixerAppRow>& rows) {
    placeholder_->setVisible(rows.empty());
    list_->setVisible(!rows.empty());

    std::set<std::string> listed;
    for (std::size_t index = 0; index < rows.size(); ++index) {
        const MixerAppRow& row = rows[index];
        listed.insert(row.bundleID());
        MixerAppRowWidget*& widget = rows_[row.bundleID()];
        if (widget == nullptr) {
            widget = new MixerAppRowWidget(*model_);
        }
        widget->show(row);
        widget->setDividerShown(index + 1 < rows.size());
        // Moved only when out of place, so the rows stay put while the order holds.
        const int position = static_cast<int>(index);
        if (rowsLayout_->indexOf(widget) != position) {
            rowsLayout_->removeWidget(widget);
            rowsLayout_->insertWidget(position, widget);
        }
        widget->setVisible(true);
    }
    for (auto entry = rows_.begin(); entry != rows_.end();) {
        if (listed.contains(entry->first)) {
            ++entry;
            continue;
        }
        rowsLayout_->removeWidget(entry->second);
        entry->second->hide();
        entry->second->deleteLater();
        entry = rows_.erase(entry);
    }
    const int contentHeight = rowsLayout_->sizeHint().height();
    list_->setFixedHeight(std::clamp(contentHeight, kListMinimumHeight, kListMaximumHeight));
}

void MixerPopoverWidget::showBanner(const std::optional<Label>& banner) {
    banner_->setVisible(banner.has_value());
    if (!banner) {
        return;
    }
    const int size = QFontMetrics(bannerText_->font()).height();
    bannerSymbol_->setPixmap(symbolPixmap(*banner, size));
    bannerText_->setText(qText(banner->title));
    QColor background = colorFor(banner->color);
    background.setAlphaF(kBannerOpacity);
    QPalette palette = banner_->palette();
    palette.setColor(QPalette::Window, background);
    banner_->setPalette(palette);
}

void MixerPopoverWidget::inputChosen(int index) {
    const auto& inputs = shown_->inputChoices();
    if (index >= 0 && static_cast<std::size_t>(index) < inputs.size()) {
        MixerPopoverView::selectInput(*model_, inputs[static_cast<std::size_t>(index)].deviceID);
    }
}

}  // namespace tonvale
