#include "platform/os/shell.h"

#include <cerrno>
#include <mutex>
#include <thread>

#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace os {

namespace {

std::mutex shellMutex;
std::string shellProgram = "xdg-open";

} // namespace

bool spawnDetached(const std::vector<std::string>& argv) {
    if (argv.empty() || argv.front().empty()) return false;
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    pid_t pid = 0;
    if (::posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return false;
    // Reap the child without making the caller wait for it.
    std::thread([pid] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return true;
}

bool shellOpen(const std::filesystem::path& target) {
    std::string program;
    {
        std::lock_guard lock(shellMutex);
        program = shellProgram;
    }
    // A relative target that begins with "-" would be taken for an option of the opener.
    std::string argument = target.string();
    if (argument.starts_with('-')) argument.insert(0, "./");
    return spawnDetached({program, argument});
}

void setShellOpenProgram(std::string program) {
    std::lock_guard lock(shellMutex);
    shellProgram = program.empty() ? std::string("xdg-open") : std::move(program);
}

} // namespace os
