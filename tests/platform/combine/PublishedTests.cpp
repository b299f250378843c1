// What the reconciler's tests cannot reach: an object with several published fields, and
// subscriptions that change while a value is being sent.
#include "platform/combine/Published.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/combine/ObservableObject.h"

namespace combine {
namespace {

struct Mixer : ObservableObject {
    Published<int> volume{*this, 50};
    Published<std::string> title{*this, "Mixer"};
};

TEST(PublishedTest, OneObjectSubscription_HearsEveryFieldBeforeItsWrite) {
    Mixer mixer;
    std::vector<std::string> seen;
    AnyCancellable object = mixer.objectWillChange().sink(
        [&] { seen.push_back("object sees " + std::to_string(mixer.volume.value()) + " " + mixer.title.value()); });
    AnyCancellable volume = mixer.volume.publisher().sink([&](const int& next) {
        seen.push_back("volume " + std::to_string(mixer.volume.value()) + " to " + std::to_string(next));
    });
    mixer.volume.set(20);
    mixer.title.modify([](std::string& title) { title += " (muted)"; });
    mixer.volume.modify([](int& value) { value += 1; });
    EXPECT_EQ(seen, (std::vector<std::string>{"object sees 50 Mixer", "volume 50 to 20", "object sees 20 Mixer",
                                              "object sees 20 Mixer (muted)", "volume 20 to 21"}));
    EXPECT_EQ(mixer.volume.value(), 21);
}

TEST(PublishedTest, SubscriptionsChangedDuringASend_TakeEffectFromTheNextOne) {
    Mixer mixer;
    std::vector<std::string> seen;
    std::optional<AnyCancellable> late;
    AnyCancellable second;
    AnyCancellable first = mixer.volume.publisher().sink([&](const int& next) {
        seen.push_back("first " + std::to_string(next));
        first.cancel();
        second.cancel();
        late =
            mixer.volume.publisher().sink([&](const int& value) { seen.push_back("late " + std::to_string(value)); });
    });
    second = mixer.volume.publisher().sink([&](const int& next) { seen.push_back("second " + std::to_string(next)); });
    mixer.volume.set(1);
    mixer.volume.set(2);
    late.reset();
    mixer.volume.set(3);
    EXPECT_EQ(seen, (std::vector<std::string>{"first 1", "late 2"}));
    EXPECT_FALSE(mixer.volume.publisher().hasSubscribers());
}

}  // namespace
}  // namespace combine
