#include "desktop/PipeWireConnection.h"

#include <pipewire/extensions/metadata.h>
#include <pipewire/pipewire.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>
#include <utility>

namespace desktop {

namespace {

constexpr double kFirstRetrySeconds = 0.1;
constexpr double kLongestRetrySeconds = 5.0;
constexpr double kWriteTimeoutSeconds = 2.0;
constexpr const char* kDefaultSinkKey = "default.audio.sink";
constexpr const char* kDefaultSourceKey = "default.audio.source";
constexpr const char* kConfiguredSourceKey = "default.configured.audio.source";
constexpr const char* kTargetKey = "target.object";

void initialiseLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { pw_init(nullptr, nullptr); });
}

Properties propertiesOf(const spa_dict* dictionary) {
    Properties properties;
    if (dictionary == nullptr) {
        return properties;
    }
    const spa_dict_item* item = nullptr;
    spa_dict_for_each(item, dictionary) {
        if (item->key != nullptr && item->value != nullptr) {
            properties[item->key] = item->value;
        }
    }
    return properties;
}

std::uint64_t numberOf(const Properties& properties, std::string_view key) {
    const std::string text = propertyOf(properties, key);
    std::uint64_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

// The node name a "default" metadata value names ({"name": "..."}).
std::string nameInValue(const char* value) {
    if (value == nullptr) {
        return {};
    }
    const nlohmann::json parsed = nlohmann::json::parse(value, nullptr, false);
    if (parsed.is_object() && parsed.contains("name") && parsed["name"].is_string()) {
        return parsed["name"].get<std::string>();
    }
    return {};
}

timespec deadlineAfter(pw_thread_loop* loop, double seconds) {
    timespec deadline{};
    pw_thread_loop_get_time(loop, &deadline, static_cast<std::int64_t>(seconds * SPA_NSEC_PER_SEC));
    return deadline;
}

timespec intervalOf(double seconds) {
    timespec interval{};
    interval.tv_sec = static_cast<time_t>(seconds);
    interval.tv_nsec = static_cast<long>((seconds - static_cast<double>(interval.tv_sec)) * 1e9);
    return interval;
}

}  // namespace

// Everything below runs on the loop's thread, or on another thread holding the loop's lock.
struct PipeWireConnection::Loop {
    enum class Kind { node, client, device, metadata };

    // One object of the server this connection has bound, for its info events.
    struct Bound {
        Loop* loop = nullptr;
        Kind kind = Kind::node;
        std::uint32_t id = 0;
        pw_proxy* proxy = nullptr;
        spa_hook listener{};
    };

    explicit Loop(Callbacks given) : callbacks(std::move(given)) {
        initialiseLibrary();
        threadLoop = pw_thread_loop_new("tonvale.pipewire", nullptr);
        context = pw_context_new(pw_thread_loop_get_loop(threadLoop), nullptr, 0);
        pw_loop* loop = pw_thread_loop_get_loop(threadLoop);
        retryTimer = pw_loop_add_timer(loop, &Loop::onRetry, this);
        lostEvent = pw_loop_add_event(loop, &Loop::onLost, this);
    }

    ~Loop() {
        pw_thread_loop_stop(threadLoop);
        disconnect();
        pw_loop* loop = pw_thread_loop_get_loop(threadLoop);
        pw_loop_destroy_source(loop, retryTimer);
        pw_loop_destroy_source(loop, lostEvent);
        pw_context_destroy(context);
        pw_thread_loop_destroy(threadLoop);
    }

    bool connect() {
        pw_properties* properties = pw_properties_new(PW_KEY_APP_NAME, "Tonvale", nullptr);
        core = pw_context_connect(context, properties, 0);
        if (core == nullptr) {
            connectError = std::strerror(errno);
            return false;
        }
        static const pw_core_events coreEvents = [] {
            pw_core_events events{};
            events.version = PW_VERSION_CORE_EVENTS;
            events.info = &Loop::onCoreInfo;
            events.done = &Loop::onCoreDone;
            events.error = &Loop::onCoreError;
            return events;
        }();
        pw_core_add_listener(core, &coreListener, &coreEvents, this);
        registry = pw_core_get_registry(core, PW_VERSION_REGISTRY, 0);
        static const pw_registry_events registryEvents = [] {
            pw_registry_events events{};
            events.version = PW_VERSION_REGISTRY_EVENTS;
            events.global = &Loop::onGlobal;
            events.global_remove = &Loop::onGlobalRemove;
            return events;
        }();
        pw_registry_add_listener(registry, &registryListener, &registryEvents, this);
        isComplete = false;
        syncsLeft = 2;
        pendingSync = pw_core_sync(core, PW_ID_CORE, 0);
        return true;
    }

    void disconnect() {
        for (auto& [id, bound] : boundObjects) {
            spa_hook_remove(&bound->listener);
            pw_proxy_destroy(bound->proxy);
        }
        boundObjects.clear();
        metadataID = 0;
        if (registry != nullptr) {
            spa_hook_remove(&registryListener);
            pw_proxy_destroy(reinterpret_cast<pw_proxy*>(registry));
            registry = nullptr;
        }
        if (core != nullptr) {
            spa_hook_remove(&coreListener);
            pw_core_disconnect(core);
            core = nullptr;
        }
        graph = PipeWireGraph{};
        isComplete = false;
    }

    [[nodiscard]] Session session() {
        const auto metadata = boundObjects.find(metadataID);
        return {core,
                metadata == boundObjects.end() ? nullptr : reinterpret_cast<pw_metadata*>(metadata->second->proxy),
                pw_context_get_data_loop(context), graph};
    }

    void changed() {
        if (isComplete && callbacks.changed) {
            callbacks.changed(session());
        }
    }

    void armRetry(double seconds) {
        timespec value = intervalOf(seconds);
        pw_loop_update_timer(pw_thread_loop_get_loop(threadLoop), retryTimer, &value, nullptr, false);
    }

    void bind(std::uint32_t id, const char* type, std::uint32_t version, Kind kind) {
        auto bound = std::make_unique<Bound>();
        bound->loop = this;
        bound->kind = kind;
        bound->id = id;
        bound->proxy = static_cast<pw_proxy*>(pw_registry_bind(registry, id, type, version, 0));
        if (bound->proxy == nullptr) {
            return;
        }
        switch (kind) {
            case Kind::node: {
                static const pw_node_events events = [] {
                    pw_node_events node{};
                    node.version = PW_VERSION_NODE_EVENTS;
                    node.info = &Loop::onNodeInfo;
                    return node;
                }();
                pw_proxy_add_object_listener(bound->proxy, &bound->listener, &events, bound.get());
                break;
            }
            case Kind::client: {
                static const pw_client_events events = [] {
                    pw_client_events client{};
                    client.version = PW_VERSION_CLIENT_EVENTS;
                    client.info = &Loop::onClientInfo;
                    return client;
                }();
                pw_proxy_add_object_listener(bound->proxy, &bound->listener, &events, bound.get());
                break;
            }
            case Kind::device: {
                static const pw_device_events events = [] {
                    pw_device_events device{};
                    device.version = PW_VERSION_DEVICE_EVENTS;
                    device.info = &Loop::onDeviceInfo;
                    return device;
                }();
                pw_proxy_add_object_listener(bound->proxy, &bound->listener, &events, bound.get());
                break;
            }
            case Kind::metadata: {
                static const pw_metadata_events events = [] {
                    pw_metadata_events metadata{};
                    metadata.version = PW_VERSION_METADATA_EVENTS;
                    metadata.property = &Loop::onMetadataProperty;
                    return metadata;
                }();
                pw_proxy_add_object_listener(bound->proxy, &bound->listener, &events, bound.get());
                metadataID = id;
                break;
            }
        }
        boundObjects[id] = std::move(bound);
    }

    static void onCoreInfo(void* data, const pw_core_info* info) {
        auto* self = static_cast<Loop*>(data);
        const Properties properties = propertiesOf(info->props);
        if (const std::uint64_t rate = numberOf(properties, "default.clock.rate"); rate > 0) {
            self->graph.clockRate = static_cast<double>(rate);
        }
    }

    static void onCoreDone(void* data, std::uint32_t id, int seq) {
        auto* self = static_cast<Loop*>(data);
        if (id != PW_ID_CORE) {
            return;
        }
        self->lastDone = seq;
        if (seq != self->pendingSync || self->isComplete) {
            pw_thread_loop_signal(self->threadLoop, false);
            return;
        }
        if (--self->syncsLeft > 0) {
            // The first round brought the globals; the second brings the info of those bound.
            self->pendingSync = pw_core_sync(self->core, PW_ID_CORE, seq);
            return;
        }
        self->isComplete = true;
        self->retrySeconds = kFirstRetrySeconds;
        self->changed();
        pw_thread_loop_signal(self->threadLoop, false);
    }

    static void onCoreError(void* data, std::uint32_t id, int, int res, const char*) {
        auto* self = static_cast<Loop*>(data);
        if (id == PW_ID_CORE && res == -EPIPE) {
            // Tearing the core down inside its own event is not allowed: it happens next turn.
            pw_loop_signal_event(pw_thread_loop_get_loop(self->threadLoop), self->lostEvent);
        }
    }

    static void onLost(void* data, std::uint64_t) {
        auto* self = static_cast<Loop*>(data);
        if (self->core == nullptr) {
            return;
        }
        if (self->callbacks.lost) {
            self->callbacks.lost(self->session());
        }
        self->disconnect();
        pw_thread_loop_signal(self->threadLoop, false);
        self->armRetry(self->retrySeconds);
    }

    static void onRetry(void* data, std::uint64_t) {
        auto* self = static_cast<Loop*>(data);
        if (self->core != nullptr || self->connect()) {
            return;
        }
        self->retrySeconds = std::min(self->retrySeconds * 2.0, kLongestRetrySeconds);
        self->armRetry(self->retrySeconds);
    }

    static void onGlobal(void* data, std::uint32_t id, std::uint32_t, const char* type, std::uint32_t,
                         const spa_dict* props) {
        auto* self = static_cast<Loop*>(data);
        const Properties properties = propertiesOf(props);
        const std::uint64_t serial = numberOf(properties, PW_KEY_OBJECT_SERIAL);
        if (std::strcmp(type, PW_TYPE_INTERFACE_Node) == 0) {
            const std::string mediaClass = propertyOf(properties, PW_KEY_MEDIA_CLASS);
            if (mediaClass.find("Audio") == std::string::npos) {
                return;
            }
            self->graph.nodes[id] = GraphNode{id, serial, properties, "creating", 0, 0};
            self->bind(id, type, PW_VERSION_NODE, Kind::node);
        } else if (std::strcmp(type, PW_TYPE_INTERFACE_Client) == 0) {
            self->graph.clients[id] = GraphClient{id, serial, properties};
            self->bind(id, type, PW_VERSION_CLIENT, Kind::client);
        } else if (std::strcmp(type, PW_TYPE_INTERFACE_Device) == 0) {
            self->graph.devices[id] = properties;
            self->bind(id, type, PW_VERSION_DEVICE, Kind::device);
        } else if (std::strcmp(type, PW_TYPE_INTERFACE_Link) == 0) {
            self->graph.links[id] = GraphLink{static_cast<std::uint32_t>(numberOf(properties, PW_KEY_LINK_OUTPUT_NODE)),
                                              static_cast<std::uint32_t>(numberOf(properties, PW_KEY_LINK_INPUT_NODE))};
        } else if (std::strcmp(type, PW_TYPE_INTERFACE_Metadata) == 0) {
            if (propertyOf(properties, PW_KEY_METADATA_NAME) == "default" && self->metadataID == 0) {
                self->bind(id, type, PW_VERSION_METADATA, Kind::metadata);
            }
            return;
        } else {
            return;
        }
        self->changed();
    }

    static void onGlobalRemove(void* data, std::uint32_t id) {
        auto* self = static_cast<Loop*>(data);
        if (const auto bound = self->boundObjects.find(id); bound != self->boundObjects.end()) {
            spa_hook_remove(&bound->second->listener);
            pw_proxy_destroy(bound->second->proxy);
            self->boundObjects.erase(bound);
        }
        const bool wasMetadata = id == self->metadataID;
        if (wasMetadata) {
            self->metadataID = 0;
            self->graph.defaultSinkName.clear();
            self->graph.defaultSourceName.clear();
            self->graph.streamTargets.clear();
        }
        const bool wasKnown = self->graph.nodes.erase(id) + self->graph.clients.erase(id) +
                                  self->graph.devices.erase(id) + self->graph.links.erase(id) +
                                  self->graph.streamTargets.erase(id) >
                              0;
        if (wasKnown || wasMetadata) {
            self->changed();
        }
    }

    static void onNodeInfo(void* data, const pw_node_info* info) {
        auto* bound = static_cast<Bound*>(data);
        Loop* self = bound->loop;
        const auto node = self->graph.nodes.find(bound->id);
        if (node == self->graph.nodes.end()) {
            return;
        }
        if ((info->change_mask & PW_NODE_CHANGE_MASK_PROPS) != 0) {
            node->second.properties = propertiesOf(info->props);
        }
        node->second.state = pw_node_state_as_string(info->state);
        node->second.inputPorts = info->n_input_ports;
        node->second.outputPorts = info->n_output_ports;
        self->changed();
    }

    static void onClientInfo(void* data, const pw_client_info* info) {
        auto* bound = static_cast<Bound*>(data);
        Loop* self = bound->loop;
        const auto client = self->graph.clients.find(bound->id);
        if (client != self->graph.clients.end() && (info->change_mask & PW_CLIENT_CHANGE_MASK_PROPS) != 0) {
            client->second.properties = propertiesOf(info->props);
            self->changed();
        }
    }

    static void onDeviceInfo(void* data, const pw_device_info* info) {
        auto* bound = static_cast<Bound*>(data);
        Loop* self = bound->loop;
        const auto device = self->graph.devices.find(bound->id);
        if (device != self->graph.devices.end() && (info->change_mask & PW_DEVICE_CHANGE_MASK_PROPS) != 0) {
            device->second = propertiesOf(info->props);
            self->changed();
        }
    }

    static int onMetadataProperty(void* data, std::uint32_t subject, const char* key, const char*, const char* value) {
        auto* bound = static_cast<Bound*>(data);
        Loop* self = bound->loop;
        if (subject != PW_ID_CORE) {
            if (key == nullptr || std::strcmp(key, kTargetKey) == 0) {
                if (key != nullptr && value != nullptr) {
                    self->graph.streamTargets[subject] = value;
                } else {
                    self->graph.streamTargets.erase(subject);
                }
                self->changed();
            }
            return 0;
        }
        if (key == nullptr) {
            self->graph.defaultSinkName.clear();
            self->graph.defaultSourceName.clear();
        } else if (std::strcmp(key, kDefaultSinkKey) == 0) {
            self->graph.defaultSinkName = nameInValue(value);
        } else if (std::strcmp(key, kDefaultSourceKey) == 0) {
            self->graph.defaultSourceName = nameInValue(value);
        } else {
            return 0;
        }
        self->changed();
        return 0;
    }

    // Waits, with the loop's lock held, until done() holds or the deadline passes.
    template <typename Done>
    bool waitUntil(double seconds, Done&& done) {
        timespec deadline = deadlineAfter(threadLoop, seconds);
        while (!done()) {
            if (pw_thread_loop_timed_wait_full(threadLoop, &deadline) != 0) {
                return done();
            }
        }
        return true;
    }

    Callbacks callbacks;
    pw_thread_loop* threadLoop = nullptr;
    pw_context* context = nullptr;
    pw_core* core = nullptr;
    pw_registry* registry = nullptr;
    spa_hook coreListener{};
    spa_hook registryListener{};
    spa_source* retryTimer = nullptr;
    spa_source* lostEvent = nullptr;
    std::map<std::uint32_t, std::unique_ptr<Bound>> boundObjects;
    std::uint32_t metadataID = 0;
    PipeWireGraph graph;
    int pendingSync = 0;
    int lastDone = -1;
    int syncsLeft = 0;
    bool isComplete = false;
    double retrySeconds = kFirstRetrySeconds;
    std::string connectError;
};

PipeWireConnection::PipeWireConnection(Callbacks callbacks) : loop_(std::make_unique<Loop>(std::move(callbacks))) {}

PipeWireConnection::~PipeWireConnection() {
    // What was last asked of the server (a stream given back, a route's nodes removed) is
    // done before the connection closes, so nothing of it is lost on the way.
    Loop& loop = *loop_;
    pw_thread_loop_lock(loop.threadLoop);
    if (loop.core != nullptr && loop.isComplete) {
        const int sync = pw_core_sync(loop.core, PW_ID_CORE, 0);
        (void)loop.waitUntil(kWriteTimeoutSeconds,
                             [&loop, sync] { return loop.core == nullptr || loop.lastDone == sync; });
    }
    pw_thread_loop_unlock(loop.threadLoop);
}

std::optional<std::string> PipeWireConnection::start(double timeoutSeconds) {
    Loop& loop = *loop_;
    pw_thread_loop_lock(loop.threadLoop);
    if (!loop.connect()) {
        std::string error = "cannot connect to the PipeWire server (" + loop.connectError + ")";
        pw_thread_loop_unlock(loop.threadLoop);
        return error;
    }
    if (pw_thread_loop_start(loop.threadLoop) != 0) {
        pw_thread_loop_unlock(loop.threadLoop);
        return std::string("cannot start the PipeWire thread");
    }
    const bool isComplete = loop.waitUntil(timeoutSeconds, [&loop] { return loop.isComplete || loop.core == nullptr; });
    const bool isConnected = loop.core != nullptr;
    pw_thread_loop_unlock(loop.threadLoop);
    if (!isConnected) {
        return std::string("the PipeWire server closed the connection");
    }
    if (!isComplete) {
        return std::string("the PipeWire server did not answer in time");
    }
    return std::nullopt;
}

bool PipeWireConnection::setConfiguredDefaultSource(const std::string& nodeName) {
    Loop& loop = *loop_;
    pw_thread_loop_lock(loop.threadLoop);
    const auto metadata = loop.boundObjects.find(loop.metadataID);
    if (loop.core == nullptr || metadata == loop.boundObjects.end()) {
        pw_thread_loop_unlock(loop.threadLoop);
        return false;
    }
    const std::string value = nlohmann::json{{"name", nodeName}}.dump();
    pw_metadata_set_property(reinterpret_cast<pw_metadata*>(metadata->second->proxy), PW_ID_CORE, kConfiguredSourceKey,
                             "Spa:String:JSON", value.c_str());
    const int sync = pw_core_sync(loop.core, PW_ID_CORE, 0);
    const bool isTaken =
        loop.waitUntil(kWriteTimeoutSeconds, [&loop, sync] { return loop.core == nullptr || loop.lastDone == sync; });
    // The session manager then makes the configured source the one in use; a caller that
    // reads the default input back sees it, unless the manager chose otherwise.
    (void)loop.waitUntil(kWriteTimeoutSeconds, [&loop, &nodeName] {
        return loop.core == nullptr || loop.graph.defaultSourceName == nodeName;
    });
    const bool isConnected = loop.core != nullptr;
    pw_thread_loop_unlock(loop.threadLoop);
    return isTaken && isConnected;
}

void PipeWireConnection::withSession(const std::function<void(const Session&)>& work) {
    Loop& loop = *loop_;
    pw_thread_loop_lock(loop.threadLoop);
    work(loop.session());
    pw_thread_loop_unlock(loop.threadLoop);
}

}  // namespace desktop
