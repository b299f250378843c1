#include "desktop/SleepWatcher.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <ctime>

#include <cstdint>
#include <thread>
#include <utility>

namespace desktop {

struct SleepWatcher::Bus {
    Handler handler;
    sd_bus* bus = nullptr;
    sd_bus_slot* match = nullptr;
    int stopFD = -1;
    std::thread thread;

    ~Bus() {
        if (thread.joinable()) {
            const std::uint64_t one = 1;
            (void)::write(stopFD, &one, sizeof(one));
            thread.join();
        }
        sd_bus_slot_unref(match);
        sd_bus_flush_close_unref(bus);
        if (stopFD >= 0) {
            ::close(stopFD);
        }
    }

    static int onPrepareForSleep(sd_bus_message* message, void* data, sd_bus_error*) {
        int isGoingToSleep = 0;
        if (sd_bus_message_read(message, "b", &isGoingToSleep) >= 0) {
            static_cast<Bus*>(data)->handler(isGoingToSleep != 0);
        }
        return 0;
    }

    void run() {
        for (;;) {
            while (sd_bus_process(bus, nullptr) > 0) {
            }
            pollfd watched[2] = {{sd_bus_get_fd(bus), static_cast<short>(sd_bus_get_events(bus)), 0},
                                 {stopFD, POLLIN, 0}};
            std::uint64_t timeout = 0;
            int milliseconds = -1;
            if (sd_bus_get_timeout(bus, &timeout) > 0 && timeout != UINT64_MAX) {
                timespec now{};
                ::clock_gettime(CLOCK_MONOTONIC, &now);
                const std::uint64_t current =
                    static_cast<std::uint64_t>(now.tv_sec) * 1000000U + static_cast<std::uint64_t>(now.tv_nsec) / 1000U;
                milliseconds = timeout > current ? static_cast<int>((timeout - current + 999U) / 1000U) : 0;
            }
            if (::poll(watched, 2, milliseconds) < 0 || (watched[1].revents & POLLIN) != 0 ||
                (watched[0].revents & (POLLHUP | POLLERR)) != 0) {
                return;
            }
        }
    }
};

std::unique_ptr<SleepWatcher> SleepWatcher::start(Handler handler) {
    auto bus = std::make_unique<Bus>();
    bus->handler = std::move(handler);
    if (sd_bus_open_system(&bus->bus) < 0 ||
        sd_bus_match_signal(bus->bus, &bus->match, "org.freedesktop.login1", "/org/freedesktop/login1",
                            "org.freedesktop.login1.Manager", "PrepareForSleep", &Bus::onPrepareForSleep,
                            bus.get()) < 0) {
        return nullptr;
    }
    bus->stopFD = ::eventfd(0, EFD_CLOEXEC);
    if (bus->stopFD < 0) {
        return nullptr;
    }
    Bus* running = bus.get();
    bus->thread = std::thread([running] { running->run(); });
    return std::unique_ptr<SleepWatcher>(new SleepWatcher(std::move(bus)));
}

SleepWatcher::SleepWatcher(std::unique_ptr<Bus> bus) : bus_(std::move(bus)) {}

SleepWatcher::~SleepWatcher() = default;

}  // namespace desktop
