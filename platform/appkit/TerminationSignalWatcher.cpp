#include "platform/appkit/TerminationSignalWatcher.h"

#include <fcntl.h>
#include <unistd.h>
#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <utility>

#include "platform/dispatch/Dispatch.h"

namespace appkit {

namespace {

constexpr std::array kTerminationSignals{SIGTERM, SIGINT, SIGHUP};

// The write end of the current watcher's pipe, read by the handler.
std::atomic<int> gSignalWriteFd{-1};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler may only touch lock-free atomics");

// Async-signal-safe: one write of the signal's number; errno is left as it was.
extern "C" void writeTerminationSignal(int signalNumber) {
    const int savedErrno = errno;
    const int fd = gSignalWriteFd.load();
    if (fd >= 0) {
        const auto byte = static_cast<unsigned char>(signalNumber);
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

}  // namespace

struct TerminationSignalWatcher::State {
    std::function<void(int)> onSignal;
    int readFd = -1;
    int writeFd = -1;
    int previousWriteFd = -1;
    std::array<struct sigaction, kTerminationSignals.size()> previousActions{};
};

TerminationSignalWatcher::TerminationSignalWatcher(std::function<void(int signalNumber)> onSignal)
    : state_(std::make_shared<State>()) {
    state_->onSignal = std::move(onSignal);
    int fds[2] = {-1, -1};
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        // Without a pipe the signals keep their previous handling.
        return;
    }
    state_->readFd = fds[0];
    state_->writeFd = fds[1];
    // A handler must never block, even with the pipe full of unread signals.
    ::fcntl(state_->writeFd, F_SETFL, ::fcntl(state_->writeFd, F_GETFL) | O_NONBLOCK);

    reader_ = std::thread([readFd = state_->readFd, weakState = std::weak_ptr<State>(state_)] {
        unsigned char byte = 0;
        while (true) {
            const ssize_t count = ::read(readFd, &byte, 1);
            if (count < 0 && errno == EINTR) {
                continue;
            }
            if (count <= 0) {
                return;  // the watcher closed the write end
            }
            const int signalNumber = byte;
            dispatch::DispatchQueue::main()->async([weakState, signalNumber] {
                if (auto state = weakState.lock()) {
                    state->onSignal(signalNumber);
                }
            });
        }
    });

    state_->previousWriteFd = gSignalWriteFd.exchange(state_->writeFd);
    struct sigaction action {};
    action.sa_handler = writeTerminationSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (std::size_t index = 0; index < kTerminationSignals.size(); ++index) {
        ::sigaction(kTerminationSignals[index], &action, &state_->previousActions[index]);
    }
}

TerminationSignalWatcher::~TerminationSignalWatcher() {
    if (state_->writeFd < 0) {
        return;
    }
    for (std::size_t index = 0; index < kTerminationSignals.size(); ++index) {
        ::sigaction(kTerminationSignals[index], &state_->previousActions[index], nullptr);
    }
    gSignalWriteFd.store(state_->previousWriteFd);
    // Closing the write end lets the reader drain what is left and end.
    ::close(state_->writeFd);
    reader_.join();
    ::close(state_->readFd);
}

}  // namespace appkit
