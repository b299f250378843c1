// Saves the durability tests' documents through a real PersistenceStore, loaded first as the
// program does, writing "s" to a progress descriptor after each save (exit status 2 when one fails):
//   state_settings_writer <folder> <writer> <first sequence> <count>   progress on standard output,
// once a byte (or the end) arrives on standard input, so that writers can be set off at once;
//   state_settings_writer <folder> <writer> --serve <progress fd>
// serves "start <first>" on standard input by forking a child that saves from <first> on, and
// "kill" by killing it with SIGKILL and writing "k": a fork costs far less than a program start.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "state/PersistenceStore.h"
#include "tests/state/WrittenDocuments.h"

namespace {

int save(tonvale::PersistenceStore& store, int writer, long long first, long long count, int progress) {
    for (long long sequence = first; count == 0 || sequence < first + count; ++sequence) {
        if (const auto saved = store.save(tonvale::testing::writtenDocument(writer, sequence)); !saved) {
            std::fprintf(stderr, "save %lld failed: %s\n", sequence, saved.error().localizedDescription().c_str());
            return 2;
        }
        if (::write(progress, "s", 1) != 1) {
            return 2;
        }
    }
    return 0;
}

tonvale::PersistenceStore loadedStore(const char* folder) {
    tonvale::PersistenceStore store{foundation::UserDefaults(folder)};
    static_cast<void>(store.load());
    return store;
}

int serve(const char* folder, int writer, int progress) {
    pid_t child = -1;
    char line[64];
    while (std::fgets(line, sizeof line, stdin) != nullptr) {
        const std::string command(line);
        if (command.starts_with("start ") && child < 0 && (child = ::fork()) == 0) {
            tonvale::PersistenceStore store = loadedStore(folder);
            ::_exit(save(store, writer, std::atoll(line + 6), 0, progress));
        }
        if (command == "kill\n" && child > 0) {
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
            child = -1;
            if (::write(progress, "k", 1) != 1) {
                return 2;
            }
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::string(argv[3]) == "--serve") {
        return serve(argv[1], std::atoi(argv[2]), std::atoi(argv[4]));
    }
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s <folder> <writer> (<first> <count> | --serve <progress fd>)\n", argv[0]);
        return 2;
    }
    tonvale::PersistenceStore store = loadedStore(argv[1]);
    char go = 0;
    if (::read(STDIN_FILENO, &go, 1) < 0) {
        return 2;
    }
    return save(store, std::atoi(argv[2]), std::atoll(argv[3]), std::atoll(argv[4]), STDOUT_FILENO);
}
