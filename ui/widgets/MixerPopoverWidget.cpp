#include "ui/widgets/MixerPopoverWidget.h"

#include <QEvent>
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
#include "ui/widgets/ElidedLabel.h"
#include "ui/widgets/LinksRowWidget.h"
#include "ui/widgets/MenuPicker.h"
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

// The height the widget's layout asks for at the popover's width.
int layoutHeight(const QWidget& widget) {
    const QLayout& layout = *widget.layout();
    return layout.hasHeightForWidth() ? layout.totalHeightForWidth(MixerPopoverView::kWidth)
                                      : layout.totalSizeHint().height();
}

QScrollArea* makeScrollArea(QWidget* content) {
    auto* area = new QScrollArea;
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Tab goes to the controls inside, never to the area itself.
    area->setFocusPolicy(Qt::NoFocus);
    area->setWidget(content);
    return area;
}

}  // namespace

MixerPopoverWidget::MixerPopoverWidget(std::shared_ptr<AppStateController> model, ProductLinks links, QWidget* parent)
    : QWidget(parent), model_(std::move(model)), links_(std::move(links)) {
    setFixedWidth(MixerPopoverView::kWidth);
    // Everything between the header and the links row, scrolled only where the screen is
    // too small for it.
    bodyContent_ = new QWidget;
    auto* body = new QVBoxLayout(bodyContent_);
    body->setContentsMargins(0, 0, 0, 0);
    body->setSpacing(0);
    body->addWidget(makeDeviceGrid());
    body->addWidget(makeDivider());

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
    body->addWidget(placeholder_);

    auto* rowsContainer = new QWidget;
    rowsLayout_ = new QVBoxLayout(rowsContainer);
    rowsLayout_->setContentsMargins(0, 0, 0, 0);
    rowsLayout_->setSpacing(0);
    rowsLayout_->addStretch();
    list_ = makeScrollArea(rowsContainer);
    list_->setFixedHeight(naturalListHeight_);
    list_->installEventFilter(this);
    body->addWidget(list_);
    body->addWidget(makeDivider());
    body->addWidget(makeBanner());
    settings_ = new SettingsAreaWidget(*model_);
    body->addWidget(settings_);
    body_ = makeScrollArea(bodyContent_);
    body_->setFixedHeight(0);
    bodyContent_->installEventFilter(this);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    // The popover decides the height; this widget shares it out (fitTo).
    outer->setSizeConstraint(QLayout::SetNoConstraint);
    outer->addWidget(makeHeader());
    outer->addWidget(makeDivider());
    outer->addWidget(body_);
    outer->addWidget(makeDivider());
    linksRow_ = new LinksRowWidget(*model_, links_);
    outer->addWidget(linksRow_);
    fitTo(sizeHint().height());

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
    QPushButton* support = makePushButton(qText(supportLabel.title), fontFor(TextStyle::caption, QFont::Medium));
    support->setIcon(symbolIcon(supportLabel.symbolName, supportLabel.color));
    QPalette tint = support->palette();
    tint.setColor(QPalette::ButtonText, colorFor(supportLabel.color));
    support->setPalette(tint);
    support->setToolTip(qText(supportLabel.helpText));
    support->setAccessibleName(qText(supportLabel.helpText));
    support->setAccessibleDescription(MixerPopoverView::kSupportAccessibilityHint);
    connect(support, &QPushButton::clicked, this, [this] { MixerPopoverView::openSupportPage(*model_, links_); });
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
    outputName_ = new ElidedLabel(TextStyle::callout);
    outputName_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    grid->addWidget(outputTitle, 0, 0);
    grid->addWidget(outputName_, 0, 1);

    auto* inputTitle = new SymbolLabel(TextStyle::callout);
    inputTitle->setLabel(MixerPopoverView::inputTitle());
    inputPicker_ = new MenuPicker;
    inputPicker_->setAccessibleName(MixerPopoverView::kInputPickerLabel);
    connect(inputPicker_, &MenuPicker::activated, this, &MixerPopoverWidget::inputChosen);
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

QWidget& MixerPopoverWidget::linksRow() const { return *linksRow_; }

QPushButton* MixerPopoverWidget::button(const char* title) const {
    for (QPushButton* button : findChildren<QPushButton*>()) {
        if (button->text() == QLatin1String(title)) {
            return button;
        }
    }
    return nullptr;
}

MixerAppRowWidget* MixerPopoverWidget::rowWidget(const std::string& bundleID) const {
    const auto found = rows_.find(bundleID);
    return found == rows_.end() ? nullptr : found->second;
}

std::vector<MixerAppRowWidget*> MixerPopoverWidget::listedRows() const {
    std::vector<MixerAppRowWidget*> listed;
    for (int index = 0; index < rowsLayout_->count(); ++index) {
        if (auto* row = dynamic_cast<MixerAppRowWidget*>(rowsLayout_->itemAt(index)->widget())) {
            listed.push_back(row);
        }
    }
    return listed;
}

QSize MixerPopoverWidget::sizeHint() const {
    const bool hasList = !list_->isHidden();
    const int listShown = hasList ? list_->minimumHeight() : 0;
    const int listNatural = hasList ? naturalListHeight_ : 0;
    const int chrome = layoutHeight(*this) - body_->minimumHeight();
    return {MixerPopoverView::kWidth, chrome + layoutHeight(*bodyContent_) - listShown + listNatural};
}

void MixerPopoverWidget::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    isPointerOverList_ = false;
    // Every opening looks the icons up again, so an app installed meanwhile shows its own.
    for (const auto& [bundleID, row] : rows_) {
        row->lookUpIcon();
    }
    if (isStale_ || hasDeferredOrder_) {
        redraw();
    }
}

void MixerPopoverWidget::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    // A closing popover tells no one that the pointer left.
    isPointerOverList_ = false;
}

void MixerPopoverWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    fitTo(height());
}

bool MixerPopoverWidget::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_ && event->type() == QEvent::Enter) {
        isPointerOverList_ = true;
    } else if (watched == list_ && event->type() == QEvent::Leave) {
        isPointerOverList_ = false;
        rearrangeIfLetGo();
    } else if (watched == bodyContent_ && event->type() == QEvent::LayoutRequest) {
        // Something between the header and the links row grew or shrank.
        fitTo(height());
        updateGeometry();
    }
    return QWidget::eventFilter(watched, event);
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
    outputName_->setFullText(qText(view.outputName()));

    const bool hasInputs = !view.inputChoices().empty();
    inputPicker_->setVisible(hasInputs);
    noInputDevices_->setVisible(!hasInputs);
    const QSignalBlocker quiet(inputPicker_);
    if (!shown_ || shown_->inputChoices() != view.inputChoices()) {
        inputPicker_->clear();
        for (const MixerPopoverView::InputChoice& choice : view.inputChoices()) {
            inputPicker_->addEntry(choice.title);
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

    showRows(view.rows(), !isListHeld());
    showBanner(view.banner());
    settings_->redraw();
    shown_ = std::move(view);
}

void MixerPopoverWidget::showRows(const std::vector<MixerAppRow>& rows, bool mayRearrange) {
    std::set<std::string> listed;
    bool isReordered = false;
    for (std::size_t index = 0; index < rows.size(); ++index) {
        const MixerAppRow& row = rows[index];
        listed.insert(row.bundleID());
        MixerAppRowWidget*& widget = rows_[row.bundleID()];
        const bool isNew = widget == nullptr;
        if (isNew) {
            widget = new MixerAppRowWidget(*model_);
            widget->setLetGoAction([this] { rearrangeIfLetGo(); });
        }
        widget->show(row);
        // Moved only when out of place, so the rows stay put while the order holds; while
        // the list is held a new row joins at the end (before the closing stretch).
        const int position = mayRearrange ? static_cast<int>(index) : rowsLayout_->count() - 1;
        if ((mayRearrange || isNew) && rowsLayout_->indexOf(widget) != position) {
            rowsLayout_->removeWidget(widget);
            rowsLayout_->insertWidget(position, widget);
            isReordered = true;
        }
        widget->setVisible(true);
    }
    hasDeferredOrder_ = !mayRearrange;
    if (mayRearrange) {
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
        placeholder_->setVisible(rows.empty());
        list_->setVisible(!rows.empty());
        naturalListHeight_ = std::clamp(rowsLayout_->sizeHint().height(), kListMinimumHeight, kListMaximumHeight);
    }
    const std::vector<MixerAppRowWidget*> shownRows = listedRows();
    for (std::size_t index = 0; index < shownRows.size(); ++index) {
        shownRows[index]->setDividerShown(index + 1 < shownRows.size());
    }
    if (isReordered) {
        orderRowsForTab();
    }
    fitTo(height());
    updateGeometry();
}

bool MixerPopoverWidget::isListHeld() const {
    return isPointerOverList_ ||
           std::any_of(rows_.begin(), rows_.end(), [](const auto& entry) { return entry.second->isHeld(); });
}

void MixerPopoverWidget::rearrangeIfLetGo() {
    if (hasDeferredOrder_ && !isListHeld()) {
        redraw();
    }
}

void MixerPopoverWidget::orderRowsForTab() {
    QWidget* previous = inputPicker_;
    for (MixerAppRowWidget* row : listedRows()) {
        for (QWidget* control : row->controls()) {
            setTabOrder(previous, control);
            previous = control;
        }
    }
}

void MixerPopoverWidget::fitTo(int height) {
    const bool hasList = !list_->isHidden();
    const int listShown = hasList ? list_->minimumHeight() : 0;
    const int bodyWithoutList = layoutHeight(*bodyContent_) - listShown;
    const int room = std::max(0, height - (layoutHeight(*this) - body_->minimumHeight()));
    int listHeight = 0;
    if (hasList) {
        const int shortest = std::min(kListShortestHeight, naturalListHeight_);
        listHeight = std::clamp(room - bodyWithoutList, shortest, naturalListHeight_);
        list_->setFixedHeight(listHeight);
    }
    body_->setFixedHeight(std::min(bodyWithoutList + listHeight, room));
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
