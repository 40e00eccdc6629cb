#pragma once
// The plain reference of the scan benchmarks: a recursive directory walk with opendir/readdir that
// read()s every regular file whole, on a given number of threads sharing one stack of folders. It uses
// nothing of the program (no walk, no task machinery of its own).

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace plain_walk {

// Returns the number of bytes read.
inline std::uint64_t walkAndRead(const std::string& root, unsigned threads) {
    std::mutex mutex;
    std::condition_variable more;
    std::vector<std::string> folders{root};
    std::size_t busy = 0;
    std::uint64_t total = 0;
    const auto work = [&] {
        std::vector<char> buffer(1 << 16);
        std::uint64_t bytes = 0;
        for (;;) {
            std::string folder;
            {
                std::unique_lock lock(mutex);
                more.wait(lock, [&] { return !folders.empty() || busy == 0; });
                if (folders.empty()) break;
                folder = std::move(folders.back());
                folders.pop_back();
                ++busy;
            }
            std::vector<std::string> found;
            if (DIR* dir = ::opendir(folder.c_str())) {
                while (const dirent* entry = ::readdir(dir)) {
                    const std::string name = entry->d_name;
                    if (name == "." || name == "..") continue;
                    const std::string path = folder + "/" + name;
                    unsigned char type = entry->d_type;
                    if (type == DT_UNKNOWN) {
                        struct stat info {};
                        if (::lstat(path.c_str(), &info) != 0) continue;
                        type = S_ISDIR(info.st_mode) ? DT_DIR : S_ISREG(info.st_mode) ? DT_REG : DT_UNKNOWN;
                    }
                    if (type == DT_DIR) {
                        found.push_back(path);
                    } else if (type == DT_REG) {
                        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
                        if (fd < 0) continue;
                        for (ssize_t n; (n = ::read(fd, buffer.data(), buffer.size())) > 0;)
                            bytes += static_cast<std::uint64_t>(n);
                        ::close(fd);
                    }
                }
                ::closedir(dir);
            }
            std::lock_guard lock(mutex);
            for (std::string& path : found)
                folders.push_back(std::move(path));
            --busy;
            more.notify_all();
        }
        std::lock_guard lock(mutex);
        total += bytes;
    };
    std::vector<std::thread> helpers;
    for (unsigned t = 1; t < threads; ++t)
        helpers.emplace_back(work);
    work();
    for (std::thread& helper : helpers)
        helper.join();
    return total;
}

} // namespace plain_walk
