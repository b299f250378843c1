#include "platform/appkit/qt/QtEventLoop.h"

#include <QApplication>
#include <QWidget>

#include "platform/dispatch/MainRunLoop.h"

namespace appkit {

QtEventLoop::QtEventLoop() {
    QApplication::setQuitOnLastWindowClosed(false);
    dispatch::MainRunLoop::setDriver(&driver_);
}

QtEventLoop::~QtEventLoop() { dispatch::MainRunLoop::setDriver(nullptr); }

void QtEventLoop::run() {
    if (isStopRequested_) {
        return;
    }
    QApplication::exec();
}

void QtEventLoop::stop(int exitStatus) {
    isStopRequested_ = true;
    QCoreApplication::exit(exitStatus);
}

void QtEventLoop::activate() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && window->windowType() != Qt::Popup) {
            window->raise();
            window->activateWindow();
        }
    }
}

}  // namespace appkit
