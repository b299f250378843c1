// A process that saves the durability tests' documents through a real PersistenceStore,
// writing one byte "s" to standard output after each save:
//   state_settings_writer <settings folder> <writer> <first sequence> <count>
//       saves writtenDocument(writer, first), (writer, first + 1), ... count of them, then
//       exits 0 (2 when a save fails);
//   state_settings_writer <settings folder> <writer> --serve
//       reads commands from standard input: "start <first>" forks a child that saves from
//       <first> on until it is killed; "kill" kills that child with SIGKILL, reaps it and
//       writes "k". Forking from this small single-threaded process costs a fraction of
//       starting a program, so a test can kill hundreds of writers in a few seconds.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "state/PersistenceStore.h"
#include "tests/state/WrittenDocuments.h"

namespace {

int save(const char* folder, int writer, long long first, long long count) {
    tonvale::PersistenceStore store{foundation::UserDefaults(folder)};
    for (long long sequence = first; count == 0 || sequence < first + count; ++sequence) {
        if (const auto error = store.save(tonvale::testing::writtenDocument(writer, sequence))) {
            std::fprintf(stderr, "save %lld failed: %s\n", sequence, error->localizedDescription().c_str());
            return 2;
        }
        if (::write(STDOUT_FILENO, "s", 1) != 1) {
            return 2;
        }
    }
    return 0;
}

int serve(const char* folder, int writer) {
    pid_t child = -1;
    char line[64];
    while (std::fgets(line, sizeof line, stdin) != nullptr) {
        const std::string command(line);
        if (command.starts_with("start ") && child < 0) {
            const long long first = std::atoll(line + 6);
            child = ::fork();
            if (child == 0) {
                ::_exit(save(folder, writer, first, 0));
            }
        } else if (command == "kill\n" && child > 0) {
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
            child = -1;
            if (::write(STDOUT_FILENO, "k", 1) != 1) {
                return 2;
            }
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[3]) == "--serve") {
        return serve(argv[1], std::atoi(argv[2]));
    }
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s <settings folder> <writer> (<first sequence> <count> | --serve)\n", argv[0]);
        return 2;
    }
    return save(argv[1], std::atoi(argv[2]), std::atoll(argv[3]), std::atoll(argv[4]));
}
