#include "ui/widgets/MixerAppRowWidget.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

#include "state/AppStateController.h"
#include "ui/widgets/AppIconWidget.h"
#include "ui/widgets/ElidedLabel.h"
#include "ui/widgets/MenuPicker.h"
#include "ui/widgets/ViewStyle.h"
#include "ui/widgets/VolumeSlider.h"

namespace tonvale {

namespace {

constexpr int kHorizontalPadding = 14;
constexpr int kVerticalPadding = 10;
constexpr int kIconSpacing = 10;
constexpr int kLineSpacing = 7;
constexpr int kMuteButtonWidth = 18;
constexpr int kPercentageWidth = 36;
// The output picker's share of line 3 against the status text's, the same in every row
// whatever the status says.
constexpr int kOutputPickerStretch = 2;
constexpr int kStatusStretch = 1;
// Where the row's text begins; the dividers between rows start there.
constexpr int kTextColumn = kHorizontalPadding + AppIcon::kSize + kIconSpacing;

QHBoxLayout* line(int spacing) {
    auto* layout = new QHBoxLayout;
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return layout;
}

QLabel* textLabel(TextStyle style, QFont::Weight weight = QFont::Normal) {
    auto* label = new QLabel;
    label->setFont(fontFor(style, weight));
    label->setTextFormat(Qt::PlainText);
    return label;
}

}  // namespace

MixerAppRowWidget::MixerAppRowWidget(AppStateController& model, QWidget* parent)
    : QWidget(parent),
      model_(model),
      icon_(new AppIconWidget),
      name_(new ElidedLabel(TextStyle::callout, QFont::DemiBold)),
      activity_(textLabel(TextStyle::caption2)),
      pin_(new QToolButton),
      mute_(new QToolButton),
      slider_(new VolumeSlider),
      percentage_(textLabel(TextStyle::caption)),
      output_(new MenuPicker),
      status_(new ElidedLabel(TextStyle::caption2)),
      failure_(textLabel(TextStyle::caption2)),
      divider_(makeDivider(kTextColumn)) {
    // A long name gives way (and is shortened) before the activity text and the pin do; a
    // short one leaves no gap before the activity text.
    name_->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    auto* first = line(6);
    first->addWidget(name_);
    first->addWidget(activity_);
    first->addStretch(1);
    first->addWidget(pin_);

    mute_->setFixedWidth(kMuteButtonWidth);
    QFont digits = percentage_->font();
    digits.setStyleHint(QFont::Monospace);
    digits.setFamily(QStringLiteral("monospace"));
    percentage_->setFont(digits);
    percentage_->setFixedWidth(kPercentageWidth);
    percentage_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* second = line(8);
    second->addWidget(mute_);
    second->addWidget(slider_, 1);
    second->addWidget(percentage_);

    output_->setAccessibleName(MixerAppRow::kOutputPickerLabel);
    output_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    status_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    auto* third = line(kLineSpacing);
    third->addWidget(output_, kOutputPickerStretch);
    third->addWidget(status_, kStatusStretch);

    failure_->setWordWrap(true);
    failure_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* lines = new QVBoxLayout;
    lines->setSpacing(kLineSpacing);
    lines->addLayout(first);
    lines->addLayout(second);
    lines->addLayout(third);
    lines->addWidget(failure_);

    auto* content = new QHBoxLayout;
    content->setContentsMargins(kHorizontalPadding, kVerticalPadding, kHorizontalPadding, kVerticalPadding);
    content->setSpacing(kIconSpacing);
    content->addWidget(icon_, 0, Qt::AlignTop);
    content->addLayout(lines, 1);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->addLayout(content);
    outer->addWidget(divider_);

    connect(pin_, &QToolButton::clicked, this, [this] { row_->togglePin(model_); });
    connect(mute_, &QToolButton::clicked, this, [this] { row_->toggleMute(model_); });
    connect(slider_, &QSlider::valueChanged, this, &MixerAppRowWidget::volumeMoved);
    connect(slider_, &QSlider::sliderReleased, this, [this] {
        row_->endVolumeDrag(model_);
        if (letGo_) {
            letGo_();
        }
    });
    connect(output_, &QComboBox::activated, this, &MixerAppRowWidget::outputChosen);
}

void MixerAppRowWidget::show(const MixerAppRow& row) {
    if (row_ && *row_ == row) {
        return;
    }
    const bool isNewApp = !row_ || row_->bundleID() != row.bundleID();
    const bool choicesChanged = !row_ || row_->outputChoices() != row.outputChoices();
    row_ = row;
    if (isNewApp) {
        lookUpIcon();
    }
    name_->setFullText(qText(row.displayName()));
    showText(*activity_, row.activity());
    showSymbolButton(*pin_, row.pinButton());
    showSymbolButton(*mute_, row.muteButton());

    slider_->setAccessibleName(qText(row.volumeAccessibilityLabel()));
    // The user's drag owns the slider until it ends; the snapshot shows the stored value.
    if (!slider_->isSliderDown()) {
        const QSignalBlocker quiet(slider_);
        slider_->setValue(static_cast<int>(std::lround(row.volume() * VolumeSlider::kSteps)));
    }
    percentage_->setText(qText(row.percentage()));

    const QSignalBlocker quiet(output_);
    if (choicesChanged) {
        output_->clear();
        for (const MixerAppRow::OutputChoice& choice : row.outputChoices()) {
            output_->addEntry(choice.title, choice.keptEnd);
        }
    }
    const auto selected = row.selectedOutputIndex();
    output_->setCurrentIndex(selected ? static_cast<int>(*selected) : -1);
    status_->setLabel(row.routeStatus());

    const auto failure = row.failureLine();
    failure_->setVisible(failure.has_value());
    showText(*failure_, {failure.value_or(""), {}, appkit::Color::systemRed});
}

void MixerAppRowWidget::lookUpIcon() {
    if (row_) {
        icon_->lookUp(AppIcon{row_->bundleID()});
    }
}

void MixerAppRowWidget::setDividerShown(bool isShown) { divider_->setVisible(isShown); }

bool MixerAppRowWidget::isHeld() const { return slider_->isSliderDown() || output_->isListOpen(); }

void MixerAppRowWidget::setLetGoAction(std::function<void()> action) {
    letGo_ = action;
    output_->setListClosedAction(std::move(action));
}

std::vector<QWidget*> MixerAppRowWidget::controls() const { return {pin_, mute_, slider_, output_}; }

void MixerAppRowWidget::volumeMoved(int value) {
    row_->moveVolume(model_, static_cast<double>(value) / VolumeSlider::kSteps);
    // A step that is no drag (a click on the track, a key) ends its own edit at once.
    if (!slider_->isSliderDown()) {
        row_->endVolumeDrag(model_);
    }
}

void MixerAppRowWidget::outputChosen(int index) {
    if (index >= 0 && static_cast<std::size_t>(index) < row_->outputChoices().size()) {
        row_->chooseOutput(model_, row_->outputChoices()[static_cast<std::size_t>(index)].preference);
    }
}

}  // namespace tonvale
