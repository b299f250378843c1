#include "platform/appkit/qt/AboutPanel.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QVBoxLayout>

#include "platform/appkit/Workspace.h"
#include "platform/appkit/qt/ApplicationIcon.h"
#include "platform/appkit/qt/RichText.h"
#include "platform/appkit/qt/SystemColors.h"
#include "platform/foundation/Bundle.h"

namespace appkit {

namespace {

constexpr int kIconSize = 64;
constexpr double kNameFontScale = 1.4;

QPointer<QDialog>& openPanel() {
    static QPointer<QDialog> panel;
    return panel;
}

// "Version 1.2 (34)", from the main bundle's entries; empty outside a bundle.
QString versionText(const std::optional<foundation::Bundle>& bundle) {
    if (!bundle) {
        return {};
    }
    const auto shortVersion = bundle->infoValue("CFBundleShortVersionString");
    const auto build = bundle->infoValue("CFBundleVersion");
    if (!shortVersion && !build) {
        return {};
    }
    QString text = QStringLiteral("Version %1").arg(QString::fromStdString(shortVersion ? *shortVersion : *build));
    if (shortVersion && build && *build != *shortVersion) {
        text += QStringLiteral(" (%1)").arg(QString::fromStdString(*build));
    }
    return text;
}

QLabel* centredLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignHCenter);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QDialog* buildPanel(const AboutPanelOptions& options) {
    const auto bundle = foundation::Bundle::main();
    auto* panel = new QDialog(nullptr, Qt::Dialog | Qt::WindowStaysOnTopHint);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    const QString name = options.applicationName ? QString::fromStdString(*options.applicationName)
                                                 : QGuiApplication::applicationDisplayName();
    panel->setWindowTitle(QStringLiteral("About %1").arg(name));
    auto* layout = new QVBoxLayout(panel);

    if (bundle) {
        if (const auto icon = iconForFile(bundle->bundlePath())) {
            auto* iconLabel = new QLabel(panel);
            iconLabel->setAlignment(Qt::AlignHCenter);
            iconLabel->setPixmap(icon->icon(systemColor(Color::labelColor)).pixmap(kIconSize, kIconSize));
            layout->addWidget(iconLabel);
        }
    }

    auto* nameLabel = centredLabel(name, panel);
    QFont nameFont = nameLabel->font();
    nameFont.setBold(true);
    nameFont.setPointSizeF(nameFont.pointSizeF() * kNameFontScale);
    nameLabel->setFont(nameFont);
    layout->addWidget(nameLabel);

    if (const QString version = versionText(bundle); !version.isEmpty()) {
        layout->addWidget(centredLabel(version, panel));
    }

    if (options.credits) {
        auto* credits = new QLabel(richText(*options.credits, panel->palette()), panel);
        credits->setObjectName(QStringLiteral("credits"));
        credits->setAlignment(Qt::AlignHCenter);
        credits->setTextFormat(Qt::RichText);
        credits->setTextInteractionFlags(Qt::TextBrowserInteraction);
        QObject::connect(credits, &QLabel::linkActivated,
                         [](const QString& url) { Workspace::sharedWorkspace().openURL(url.toStdString()); });
        layout->addWidget(credits);
    }

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, panel);
    QObject::connect(buttons, &QDialogButtonBox::rejected, panel, &QDialog::close);
    layout->addWidget(buttons);
    return panel;
}

}  // namespace

void orderFrontStandardAboutPanelWithOptions(const AboutPanelOptions& options) {
    QPointer<QDialog>& panel = openPanel();
    if (panel.isNull()) {
        panel = buildPanel(options);
    }
    panel->show();
    panel->raise();
    panel->activateWindow();
}

QWidget* standardAboutPanel() { return openPanel().data(); }

}  // namespace appkit
