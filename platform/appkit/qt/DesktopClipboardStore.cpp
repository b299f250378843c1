#include "platform/appkit/qt/DesktopClipboardStore.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace appkit {

void DesktopClipboardStore::clear() { QGuiApplication::clipboard()->clear(); }

bool DesktopClipboardStore::setString(const std::string& text) {
    QGuiApplication::clipboard()->setText(QString::fromStdString(text));
    return true;
}

std::optional<std::string> DesktopClipboardStore::string() const {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (data == nullptr || !data->hasText()) {
        return std::nullopt;
    }
    return data->text().toStdString();
}

}  // namespace appkit
