#include "ui/widgets/SettingsAreaWidget.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTransform>
#include <QVBoxLayout>

#include "ui/widgets/MenuPicker.h"
#include "ui/widgets/SymbolLabel.h"
#include "ui/widgets/ViewStyle.h"

namespace tonvale {

namespace {

constexpr int kHorizontalPadding = 14;
constexpr int kVerticalPadding = 10;
constexpr double kAccessPanelOpacity = 0.12;

QHBoxLayout* row(int spacing) {
    auto* layout = new QHBoxLayout;
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return layout;
}

QString accessPanelStyle() {
    QColor fill = colorFor(appkit::Color::systemOrange);
    fill.setAlphaF(kAccessPanelOpacity);
    return QStringLiteral("QFrame#accessPanel { background-color: %1; border-radius: 8px; }")
        .arg(fill.name(QColor::HexArgb));
}

}  // namespace

SettingsAreaWidget::SettingsAreaWidget(AppStateController& model, QWidget* parent)
    : QWidget(parent),
      model_(model),
      disclosure_(new QPushButton),
      chevron_(new QLabel),
      area_(new QWidget),
      launchAtLogin_(new QCheckBox(SettingsArea::kLaunchAtLoginTitle)),
      loginItemLine_(new QWidget),
      loginItemMessage_(new QLabel),
      openLoginItems_(makePushButton(SettingsArea::kOpenLoginItemsTitle, font())),
      keepRecent_(new MenuPicker),
      accessPanel_(new QFrame),
      privacyLine_(new SymbolLabel(TextStyle::caption)) {
    // The disclosure row: the whole row is the button.
    disclosure_->setFlat(true);
    auto* disclosureTitle = new SymbolLabel(TextStyle::callout, QFont::Medium);
    disclosureTitle->setLabel(SettingsArea::disclosureTitle());
    disclosureTitle->setAttribute(Qt::WA_TransparentForMouseEvents);
    chevron_->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto* disclosureContent = new QHBoxLayout(disclosure_);
    disclosureContent->setContentsMargins(kHorizontalPadding, kVerticalPadding, kHorizontalPadding, kVerticalPadding);
    disclosureContent->setSpacing(6);
    disclosureContent->addWidget(chevron_);
    disclosureContent->addWidget(disclosureTitle);
    disclosureContent->addStretch();
    disclosure_->setMinimumHeight(disclosureContent->sizeHint().height());
    connect(disclosure_, &QPushButton::clicked, this, &SettingsAreaWidget::toggleExpanded);

    // The settings area.
    connect(launchAtLogin_, &QCheckBox::clicked, this,
            [this](bool isOn) { SettingsArea::setLaunchAtLogin(model_, isOn); });

    loginItemMessage_->setFont(fontFor(TextStyle::caption));
    loginItemMessage_->setWordWrap(true);
    loginItemMessage_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    connect(openLoginItems_, &QPushButton::clicked, this, [this] { SettingsArea::openLoginItems(model_); });
    auto* loginItemLayout = row(6);
    loginItemLine_->setLayout(loginItemLayout);
    loginItemLayout->addWidget(loginItemMessage_, 1);
    loginItemLayout->addWidget(openLoginItems_);

    for (const SettingsArea::KeepRecentChoice& choice : SettingsArea::keepRecentChoices()) {
        keepRecent_->addEntry(choice.title);
    }
    keepRecent_->setFixedWidth(SettingsArea::kKeepRecentPickerWidth);
    keepRecent_->setAccessibleName(SettingsArea::kKeepRecentTitle);
    connect(keepRecent_, &MenuPicker::activated, this, [this](int index) {
        SettingsArea::chooseKeepRecent(model_,
                                       SettingsArea::keepRecentChoices().at(static_cast<std::size_t>(index)).seconds);
    });
    auto* keepRecentRow = row(6);
    keepRecentRow->addWidget(new QLabel(SettingsArea::kKeepRecentTitle));
    keepRecentRow->addStretch();
    keepRecentRow->addWidget(keepRecent_);

    accessPanel_->setObjectName(QStringLiteral("accessPanel"));
    accessPanel_->setStyleSheet(accessPanelStyle());
    auto* accessTitle = new SymbolLabel(TextStyle::callout, QFont::DemiBold);
    accessTitle->setLabel(SettingsArea::accessPanelTitle());
    auto* accessInformation = new QLabel(SettingsArea::kAccessInformation);
    accessInformation->setWordWrap(true);
    showText(*accessInformation, {SettingsArea::kAccessInformation, {}, appkit::Color::secondaryLabelColor});
    accessInformation->setFont(fontFor(TextStyle::caption));
    auto* remedies = row(6);
    auto* accessLayout = new QVBoxLayout(accessPanel_);
    accessLayout->setContentsMargins(9, 9, 9, 9);
    accessLayout->setSpacing(7);
    accessLayout->addWidget(accessTitle);
    accessLayout->addWidget(accessInformation);
    accessLayout->addLayout(remedies);

    privacyLine_->setLabel(SettingsArea::privacyLine());
    privacyLine_->setWordWrap(true);

    auto* diagnosticsRow = row(6);

    auto* areaLayout = new QVBoxLayout(area_);
    areaLayout->setContentsMargins(kHorizontalPadding, 0, kHorizontalPadding, kVerticalPadding);
    areaLayout->setSpacing(10);
    areaLayout->addWidget(launchAtLogin_);
    areaLayout->addWidget(loginItemLine_);
    areaLayout->addLayout(keepRecentRow);
    areaLayout->addWidget(accessPanel_);
    areaLayout->addWidget(privacyLine_);
    areaLayout->addLayout(diagnosticsRow);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->addWidget(disclosure_);
    outer->addWidget(area_);

    remedies->addWidget(
        addButton(SettingsArea::kOpenSystemSettingsTitle, [this] { SettingsArea::openSystemAudioSettings(model_); }));
    remedies->addWidget(addButton(SettingsArea::kRetryRoutesTitle, [this] { SettingsArea::retryRoutes(model_); }));
    remedies->addStretch();
    diagnosticsRow->addWidget(
        addButton(SettingsArea::kCopyDiagnosticsTitle, [this] { SettingsArea::copyDiagnostics(model_); }));
    diagnosticsRow->addStretch();
}

QPushButton* SettingsAreaWidget::addButton(const char* title, std::function<void()> action) {
    QPushButton* button = makePushButton(title, font());
    connect(button, &QPushButton::clicked, this, [action = std::move(action)] { action(); });
    return button;
}

void SettingsAreaWidget::toggleExpanded() {
    isExpanded_ = !isExpanded_;
    redraw();
}

void SettingsAreaWidget::redraw() {
    const SettingsArea settings(model_, isExpanded_);
    if (shown_ && *shown_ == settings) {
        return;
    }
    shown_ = settings;

    const Label chevron{{}, SettingsArea::kChevronSymbol, appkit::Color::labelColor};
    const int size = QFontMetrics(fontFor(TextStyle::caption2)).height();
    const QPixmap arrow = symbolIcon(chevron.symbolName, chevron.color).pixmap(size, size);
    chevron_->setPixmap(arrow.transformed(QTransform().rotate(settings.chevronRotationDegrees())));
    disclosure_->setAccessibleName(qText(settings.disclosureAccessibilityLabel()));

    area_->setVisible(settings.isExpanded());
    const QSignalBlocker quietToggle(launchAtLogin_);
    launchAtLogin_->setChecked(settings.isLaunchAtLoginOn());
    const auto& line = settings.loginItemLine();
    loginItemLine_->setVisible(line.has_value());
    if (line) {
        showText(*loginItemMessage_, line->message);
        openLoginItems_->setVisible(line->hasOpenButton);
    }
    const QSignalBlocker quietPicker(keepRecent_);
    const auto selected = settings.selectedKeepRecentIndex();
    keepRecent_->setCurrentIndex(selected ? static_cast<int>(*selected) : -1);
    accessPanel_->setVisible(settings.isAccessPanelShown());
    privacyLine_->setVisible(!settings.isAccessPanelShown());
}

}  // namespace tonvale
