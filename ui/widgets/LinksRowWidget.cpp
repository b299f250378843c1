#include "ui/widgets/LinksRowWidget.h"

#include <QHBoxLayout>
#include <QPushButton>

#include <functional>

#include "platform/appkit/Application.h"
#include "platform/appkit/qt/AboutPanel.h"
#include "ui/SettingsArea.h"
#include "ui/widgets/ViewStyle.h"

namespace tonvale {

namespace {

constexpr int kHorizontalPadding = 14;
constexpr int kVerticalPadding = 10;

}  // namespace

LinksRowWidget::LinksRowWidget(AppStateController& model, ProductLinks links, QWidget* parent)
    : QWidget(parent), model_(model), links_(std::move(links)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(kHorizontalPadding, kVerticalPadding, kHorizontalPadding, kVerticalPadding);
    layout->setSpacing(8);
    const auto add = [this, layout](const std::string& title, std::function<void()> action) {
        QPushButton* button = makePushButton(qText(title), fontFor(TextStyle::callout));
        connect(button, &QPushButton::clicked, this, [action = std::move(action)] { action(); });
        layout->addWidget(button);
        return button;
    };
    add(SettingsArea::kHelpTitle, [this] { SettingsArea::openHelp(model_, links_); });
    add(SettingsArea::kPrivacyTitle, [this] { SettingsArea::openPrivacy(model_, links_); });
    add(SettingsArea::kAboutTitle, [this] {
        if (appkit::Application* application = appkit::Application::shared()) {
            application->activateIgnoringOtherApps(true);
        }
        appkit::orderFrontStandardAboutPanelWithOptions(
            {SettingsArea::kApplicationName, SettingsArea::aboutCredits(links_)});
    });
    layout->addStretch();
    const Label quitLabel = SettingsArea::quitButton();
    add(quitLabel.title, [] { SettingsArea::quit(); })->setIcon(symbolIcon(quitLabel.symbolName, quitLabel.color));
}

}  // namespace tonvale
