#include "desktop/ProcessIdentity.h"

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string_view>

namespace desktop {

namespace {

// Longest parent chain followed; real helper chains are a few levels deep.
constexpr int kMaxAncestors = 16;
// Processes that start other programs on a person's behalf: what they start is not theirs.
const std::set<std::string, std::less<>> kLaunchers{
    "bash", "sh",    "dash", "zsh",  "fish",   "tcsh",  "csh", "ksh",   "systemd", "init",       "sudo",
    "su",   "login", "sshd", "tmux", "screen", "xargs", "env", "nohup", "setsid",  "dbus-daemon"};

std::string readFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string baseName(const std::string& path) { return std::filesystem::path(path).filename().string(); }

// The application id a sandbox gives the process: Flatpak's info file, or Snap's cgroup.
std::optional<std::string> sandboxIDOf(const std::filesystem::path& folder) {
    std::istringstream flatpak(readFile(folder / "root" / ".flatpak-info"));
    std::string line;
    bool inApplication = false;
    while (std::getline(flatpak, line)) {
        if (!line.empty() && line.front() == '[') {
            inApplication = line == "[Application]";
        } else if (inApplication && line.starts_with("name=")) {
            return line.substr(5);
        }
    }
    const std::string cgroup = readFile(folder / "cgroup");
    constexpr std::string_view kSnapPrefix = "/snap.";
    if (const auto start = cgroup.find(kSnapPrefix); start != std::string::npos) {
        const auto nameStart = start + kSnapPrefix.size();
        const auto nameEnd = cgroup.find_first_of(".\n", nameStart);
        if (nameEnd != std::string::npos && nameEnd > nameStart) {
            return cgroup.substr(nameStart, nameEnd - nameStart);
        }
    }
    return std::nullopt;
}

}  // namespace

ProcessIdentity::ProcessIdentity(DesktopEntries entries, std::filesystem::path processFolder)
    : entries_(std::move(entries)), processFolder_(std::move(processFolder)) {}

std::optional<ProcessIdentity::ProcessFacts> ProcessIdentity::statusOf(std::int32_t pid) const {
    const std::string stat = readFile(processFolder_ / std::to_string(pid) / "stat");
    // "pid (comm) state ppid ...": comm may hold spaces and parentheses, so read after the last ")".
    const auto open = stat.find('(');
    const auto close = stat.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open) {
        return std::nullopt;
    }
    ProcessFacts facts;
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    for (int index = 0; fields >> field; ++index) {
        if (index == 1) {
            facts.parent = std::stoi(field);
        } else if (index == 19) {
            facts.startTime = std::stoull(field);
            break;
        }
    }
    facts.command = stat.substr(open + 1, close - open - 1);
    return facts;
}

void ProcessIdentity::complete(std::int32_t pid, ProcessFacts& facts) const {
    const std::filesystem::path folder = processFolder_ / std::to_string(pid);
    const std::string arguments = readFile(folder / "cmdline");
    std::error_code error;
    const std::string executable = std::filesystem::read_symlink(folder / "exe", error).string();
    facts.names = {baseName(arguments.substr(0, arguments.find('\0'))), facts.command, baseName(executable)};
    facts.sandboxID = sandboxIDOf(folder);
}

Identity ProcessIdentity::fromEntry(const DesktopEntry& entry) const {
    return {entry.id, entry.name, entries_.iconFile(entry.icon), true};
}

std::optional<Identity> ProcessIdentity::ownApplication(const ProcessFacts& facts, const Properties& hints) const {
    for (const std::optional<std::string>& declared :
         {facts.sandboxID, std::optional<std::string>(propertyOf(hints, "pipewire.access.portal.app_id")),
          std::optional<std::string>(propertyOf(hints, "application.id"))}) {
        if (!declared || declared->empty()) {
            continue;
        }
        if (const DesktopEntry* entry = entries_.withID(*declared)) {
            return fromEntry(*entry);
        }
        std::string name = propertyOf(hints, "application.name");
        return Identity{*declared, name.empty() ? *declared : std::move(name), std::nullopt, true};
    }
    if (const DesktopEntry* entry = entries_.matching(facts.names)) {
        return fromEntry(*entry);
    }
    return std::nullopt;
}

Identity ProcessIdentity::resolve(std::int32_t pid, const ProcessFacts& facts, const Properties& hints) const {
    if (std::optional<Identity> own = ownApplication(facts, hints)) {
        return *own;
    }
    std::int32_t ancestor = facts.parent;
    for (int depth = 0; depth < kMaxAncestors && ancestor > 1; ++depth) {
        std::optional<ProcessFacts> parent = statusOf(ancestor);
        if (!parent) {
            break;
        }
        complete(ancestor, *parent);
        if (std::optional<Identity> owner = ownApplication(*parent, {})) {
            return *owner;
        }
        if (kLaunchers.contains(parent->names[2]) || kLaunchers.contains(parent->names[1])) {
            break;
        }
        ancestor = parent->parent;
    }
    std::string executable = propertyOf(hints, "application.process.binary");
    if (executable.empty() && facts.names.size() == 3) {
        executable = facts.names[2].empty() ? facts.names[1] : facts.names[2];
    }
    if (executable.empty()) {
        executable = "pid-" + std::to_string(pid);
    }
    std::string name = propertyOf(hints, "application.name");
    return {executable, name.empty() ? executable : std::move(name), std::nullopt, false};
}

Identity ProcessIdentity::identify(std::int32_t pid, const Properties& hints) {
    std::optional<ProcessFacts> facts = statusOf(pid);
    if (!facts) {
        return resolve(pid, ProcessFacts{}, hints);
    }
    {
        // What a process told the audio server stays true for its life; a look-up without
        // it is answered from an earlier one with it.
        std::lock_guard lock(mutex_);
        const auto cached = cache_.find(pid);
        if (cached != cache_.end() && cached->second.startTime == facts->startTime && cached->second.isResolved &&
            (hints.empty() || hints == cached->second.hints)) {
            return cached->second.identity;
        }
    }
    complete(pid, *facts);
    Identity identity = resolve(pid, *facts, hints);
    std::lock_guard lock(mutex_);
    Cached& cached = cache_[pid];
    if (!hints.empty() || cached.startTime != facts->startTime || cached.hints.empty()) {
        cached = {facts->startTime, hints, identity, true};
    }
    return identity;
}

std::vector<std::pair<std::int32_t, Identity>> ProcessIdentity::userProcesses() {
    std::vector<std::pair<std::int32_t, Identity>> listed;
    std::set<std::int32_t> present;
    std::error_code error;
    for (auto it = std::filesystem::directory_iterator(processFolder_, error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        const std::string name = it->path().filename().string();
        struct stat owner {};
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos ||
            ::stat(it->path().c_str(), &owner) != 0 || owner.st_uid != ::getuid()) {
            continue;
        }
        const std::int32_t pid = std::stoi(name);
        std::optional<ProcessFacts> facts = statusOf(pid);
        if (!facts) {
            continue;
        }
        present.insert(pid);
        std::lock_guard lock(mutex_);
        auto cached = cache_.find(pid);
        if (cached == cache_.end() || cached->second.startTime != facts->startTime) {
            // Only what a process is by itself: the parent chain is followed for the
            // processes asked about, not for every process of the session.
            complete(pid, *facts);
            std::optional<Identity> own = ownApplication(*facts, {});
            cached = cache_.insert_or_assign(pid, Cached{facts->startTime, {}, own.value_or(Identity{}), false}).first;
        }
        if (cached->second.isResolved || cached->second.identity.isApplication) {
            listed.emplace_back(pid, cached->second.identity);
        }
    }
    std::lock_guard lock(mutex_);
    std::erase_if(cache_, [&present](const auto& entry) { return !present.contains(entry.first); });
    return listed;
}

}  // namespace desktop
