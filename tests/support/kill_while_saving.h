#pragma once
// Crash safety of the program's saves: a child process saves in a loop, writing one byte to its
// standard output after each finished save; the test lets it finish a few saves and kills it somewhere
// within the next one, then checks what the child left on disk.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <random>
#include <string>

namespace testing_support {

// Runs `program argument`, waits for `saves` finished saves, kills the child `delayMicroseconds`
// later and reaps it.
inline ::testing::AssertionResult killSaveLoopAfter(const char* program, const std::string& argument,
                                                    std::size_t saves, useconds_t delayMicroseconds) {
    int out[2];
    if (::pipe(out) != 0) return ::testing::AssertionFailure() << "no pipe";
    const pid_t child = ::fork();
    if (child < 0) return ::testing::AssertionFailure() << "no child process";
    if (child == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::close(out[0]);
        ::close(out[1]);
        ::execl(program, program, argument.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    char progress[8];
    std::size_t seen = 0;
    while (seen < saves) {
        const auto n = ::read(out[0], progress, std::min(saves - seen, sizeof progress));
        if (n <= 0) {
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
            ::close(out[0]);
            return ::testing::AssertionFailure() << "the save loop ended early";
        }
        seen += static_cast<std::size_t>(n);
    }
    ::usleep(delayMicroseconds);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(out[0]);
    if (!WIFSIGNALED(status)) return ::testing::AssertionFailure() << "the save loop was not killed";
    return ::testing::AssertionSuccess();
}

// Waits for 1 + round % 5 finished saves and kills the child at a moment that varies with the round.
inline ::testing::AssertionResult killSaveLoopMidway(const char* program, const std::string& argument,
                                                     int round) {
    return killSaveLoopAfter(program, argument, 1 + static_cast<std::size_t>(round % 5),
                             static_cast<useconds_t>((round * 211) % 2500));
}

// Waits for 1 to 6 finished saves and kills the child at a random moment within the next few
// milliseconds, drawn from `engine`.
inline ::testing::AssertionResult killSaveLoopAtRandom(const char* program, const std::string& argument,
                                                       std::mt19937& engine) {
    const auto saves = std::uniform_int_distribution<std::size_t>(1, 6)(engine);
    const auto delay = std::uniform_int_distribution<useconds_t>(0, 6000)(engine);
    return killSaveLoopAfter(program, argument, saves, delay);
}

} // namespace testing_support
