#include "platform/appkit/qt/DesktopURLOpener.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QThread>
#include <QUrl>

namespace appkit {

bool DesktopURLOpener::open(const std::string& url) {
    const QUrl qUrl(QString::fromStdString(url), QUrl::StrictMode);
    if (!qUrl.isValid() || qUrl.scheme().isEmpty()) {
        return false;
    }
    QCoreApplication* application = QCoreApplication::instance();
    if (application == nullptr) {
        return false;
    }
    if (QThread::currentThread() == application->thread()) {
        return QDesktopServices::openUrl(qUrl);
    }
    QMetaObject::invokeMethod(
        application, [qUrl] { QDesktopServices::openUrl(qUrl); }, Qt::QueuedConnection);
    return true;
}

}  // namespace appkit
