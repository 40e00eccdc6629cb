#include "core/scan_tasks.h"

#include "core/run_control.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <unordered_set>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

std::atomic<std::int32_t> gf_runningScanTasks{0};
std::atomic<std::uint64_t> gf_taskSlotWaits{0};

namespace {

std::atomic<std::int32_t> scanTaskLimit{1};
std::mutex slotMutex;
std::condition_variable slotFreed;
std::atomic<int> slotWaiters{0}; // changed under slotMutex

// The real paths of the folders a walk has entered.
using EnteredFolders = std::unordered_set<fs::path::string_type>;

fs::path lf_realPath(const fs::path& path) {
    std::error_code ec;
    fs::path real = fs::canonical(path, ec);
    if (ec) real = fs::absolute(path, ec).lexically_normal();
    return real;
}

// One recursive iteration; a link to a folder is walked by a nested call right after its entry, as the
// iteration would enter a folder. Returns false when the visitor ended the walk.
bool lf_walk(const fs::path& folder, const fs::path& realFolder, EnteredFolders& entered,
             const std::function<WalkStep(const fs::directory_entry&)>& visit) {
    // The real path of the folder whose entries stand at each depth: an entry that is no link lies in
    // its parent's real folder, so only links need a look-up.
    std::vector<fs::path> realAt{realFolder};
    std::error_code ec;
    fs::recursive_directory_iterator it(folder, fs::directory_options::none, ec);
    for (const fs::recursive_directory_iterator end; !ec && it != end; it.increment(ec)) {
        const fs::directory_entry& entry = *it;
        const auto depth = static_cast<std::size_t>(it.depth());
        const WalkStep step = visit(entry);
        if (step == WalkStep::stop) return false;
        if (step == WalkStep::skipFolder) {
            it.disable_recursion_pending();
            continue;
        }
        std::error_code typeError;
        if (entry.is_symlink(typeError)) {
            if (!fs::is_directory(entry.status(typeError))) continue; // a file or a dangling link
            const fs::path real = lf_realPath(entry.path());
            if (entered.insert(real.native()).second && !lf_walk(entry.path(), real, entered, visit))
                return false;
            continue;
        }
        if (!entry.is_directory(typeError)) continue;
        fs::path real = realAt[std::min(depth, realAt.size() - 1)] / entry.path().filename();
        if (!entered.insert(real.native()).second) {
            it.disable_recursion_pending();
            continue;
        }
        realAt.resize(depth + 1);
        realAt.push_back(std::move(real));
    }
    return true;
}

class ScanTaskPool {
public:
    static ScanTaskPool& instance() {
        static ScanTaskPool* const pool = new ScanTaskPool;
        return *pool;
    }
    void post(std::function<void()> job) {
        std::unique_lock lock(mutex_);
        jobs_.push_back(std::move(job));
        queued_.store(jobs_.size());
        if (idle_ >= jobs_.size()) {
            // A thread that has just finished a task looks for the next for a moment before it
            // sleeps: waking a sleeping one costs more than most tasks take.
            const bool wake = jobs_.size() > spinning_.load();
            lock.unlock();
            if (wake) wake_.notify_one();
            return;
        }
        try {
            std::thread([this] { run(); }).detach();
        } catch (...) {
            jobs_.pop_back();
            queued_.store(jobs_.size());
            throw;
        }
    }

private:
    void run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            ++idle_;
            if (jobs_.empty()) {
                ++spinning_;
                lock.unlock();
                const auto spinEnd = std::chrono::steady_clock::now() + std::chrono::microseconds(50);
                while (queued_.load() == 0 && std::chrono::steady_clock::now() < spinEnd)
                    std::this_thread::yield();
                lock.lock();
                --spinning_;
            }
            wake_.wait(lock, [this] { return !jobs_.empty(); });
            --idle_;
            std::function<void()> job = std::move(jobs_.front());
            jobs_.pop_front();
            queued_.store(jobs_.size());
            lock.unlock();
            job();
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    std::atomic<std::size_t> queued_{0};   // jobs_.size(), for the threads looking without the mutex
    std::atomic<std::size_t> spinning_{0}; // threads looking for a job before they sleep
    std::size_t idle_ = 0;
};

} // namespace

void gf_postScanTask(std::function<void()> job) {
    ScanTaskPool::instance().post(std::move(job));
}

void gf_setScanTaskLimit(std::int32_t limit) {
    scanTaskLimit.store(std::max<std::int32_t>(1, limit));
}

std::int32_t gf_scanTaskLimit() {
    return scanTaskLimit.load();
}

void gf_resetScanTasks() {
    // hardware_concurrency() may report 0 when it cannot tell.
    gf_setScanTaskLimit(static_cast<std::int32_t>(std::min(std::thread::hardware_concurrency(), 4096u)));
    gf_runningScanTasks.store(0);
    gf_taskSlotWaits.store(0);
}

void gf_waitForTaskSlot() {
    if (gf_runningScanTasks.load() < scanTaskLimit.load()) return;
    std::unique_lock lock(slotMutex);
    ++slotWaiters;
    while (gf_runningScanTasks.load() >= scanTaskLimit.load() && !runControl.stopping()) {
        gf_taskSlotWaits.fetch_add(1);
        slotFreed.wait_for(lock, std::chrono::milliseconds(1));
    }
    --slotWaiters;
}

namespace {

// Takes a slot when one is free.
bool lf_tryClaimSlot() {
    std::int32_t running = gf_runningScanTasks.load();
    while (running < scanTaskLimit.load())
        if (gf_runningScanTasks.compare_exchange_weak(running, running + 1)) return true;
    return false;
}

} // namespace

bool gf_claimTaskSlot() {
    if (lf_tryClaimSlot()) return true;
    // Tasks are short: a slot is usually free again within moments, sooner than a sleeping starter
    // would be woken.
    const auto spinEnd = std::chrono::steady_clock::now() + std::chrono::microseconds(200);
    while (std::chrono::steady_clock::now() < spinEnd) {
        std::this_thread::yield();
        if (lf_tryClaimSlot()) return true;
    }
    std::unique_lock lock(slotMutex);
    ++slotWaiters;
    bool claimed = false;
    while (!(claimed = lf_tryClaimSlot()) && !runControl.stopping()) {
        gf_taskSlotWaits.fetch_add(1);
        slotFreed.wait_for(lock, std::chrono::milliseconds(1));
    }
    --slotWaiters;
    return claimed;
}

void gf_endScanTask() {
    gf_runningScanTasks.fetch_sub(1);
    // The mutex is taken only when a scan waits: a wait that has tested the count but not yet slept
    // holds it, so the wake is not lost. One slot is free: one waiter is woken (the others test the
    // count again within a millisecond).
    if (slotWaiters.load() == 0) return;
    std::lock_guard lock(slotMutex);
    slotFreed.notify_one();
}

void gf_walkFolderTree(const fs::path& root,
                       const std::function<WalkStep(const fs::directory_entry&)>& visit) {
    const fs::path real = lf_realPath(root);
    EnteredFolders entered{real.native()};
    lf_walk(root, real, entered, visit);
}

namespace {

// Paths are kept as their text: a std::filesystem::path also splits itself into its parts, which
// would cost more than the listing of most folders.
using PathText = fs::path::string_type;

struct FolderListing;

// One listed entry and, for a folder the listing entered, its listing.
struct ListedEntry {
    enum class Kind : std::uint8_t { other, folder, link };
    PathText path;
    bool take = false;
    Kind kind = Kind::other;
    FolderListing* listing = nullptr;     // folder and link: its listing, when it has one
    PathText real;                        // folder and link: the real path of its folder
    std::unique_ptr<StartedTask> started; // a taken entry: what the listing's start gave
};

struct FolderListing {
    PathText path;
    PathText real;
    std::vector<ListedEntry> entries;
    std::atomic<bool> done{false}; // listed (set under the listing's mutex; read by the walk without it)
    bool failed = false;           // the iteration ended on an error
};

// The real path of an entry of `folder` named `name` (a folder's real path and the name).
PathText lf_realInside(const FolderListing& folder, std::string_view name) {
    PathText real = folder.real;
    if (!real.empty() && real.back() != fs::path::preferred_separator) real += fs::path::preferred_separator;
    real += name;
    return real;
}

// The caller's look at one entry. An exception takes nothing (the caller's look reports its own errors).
template <class Look, class Entry> ListStep lf_lookAt(const Look& look, const Entry& entry) {
    try {
        return look(entry);
    } catch (...) {
        return ListStep{};
    }
}

// Work for the listing thread once a folder is listed (StartedTask::afterListing).
using AfterListing = std::vector<std::function<void()>>;

// How the entries of one folder are read and looked at. False when the iteration ended on an error.
class FolderLister {
public:
    virtual ~FolderLister() = default;
    virtual bool list(const FolderListing& folder, std::vector<ListedEntry>& entries,
                      AfterListing& after) const = 0;
};

// Through the standard directory iteration, for gf_listFolderTree's look.
class IteratorLister final : public FolderLister {
public:
    explicit IteratorLister(const std::function<ListStep(const fs::directory_entry&)>& look) : look_(look) {}

    bool list(const FolderListing& folder, std::vector<ListedEntry>& entries, AfterListing&) const override {
        std::error_code ec;
        fs::directory_iterator it(fs::path(folder.path), ec);
        for (const fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
            const fs::directory_entry& entry = *it;
            const ListStep step = lf_lookAt(look_, entry);
            ListedEntry listed;
            listed.take = step.take;
            if (step.descend) {
                std::error_code typeError;
                if (entry.is_symlink(typeError)) {
                    if (fs::is_directory(entry.status(typeError))) {
                        listed.kind = ListedEntry::Kind::link;
                        listed.real = lf_realPath(entry.path()).native();
                    }
                } else if (entry.is_directory(typeError)) {
                    listed.kind = ListedEntry::Kind::folder;
                    const PathText& path = entry.path().native();
                    listed.real = lf_realInside(
                        folder, std::string_view(path).substr(path.rfind(fs::path::preferred_separator) + 1));
                }
            }
            if (!listed.take && listed.kind == ListedEntry::Kind::other) continue;
            listed.path = entry.path().native();
            entries.push_back(std::move(listed));
        }
        return !ec;
    }

private:
    const std::function<ListStep(const fs::directory_entry&)>& look_;
};

// Through the system's directory calls, for gf_listFolderTreeStarting: the entry's type comes from the
// listing where the file system gives it, and taken entries are started at once.
class DirectLister final : public FolderLister {
public:
    DirectLister(const std::function<ListStep(const ListedName&)>& look,
                 const std::function<std::unique_ptr<StartedTask>(std::string_view)>& start)
        : look_(look), start_(start) {}

    bool list(const FolderListing& folder, std::vector<ListedEntry>& entries,
              AfterListing& after) const override {
        DIR* dir = ::opendir(folder.path.empty() ? "." : folder.path.c_str());
        if (dir == nullptr) return false;
        std::string path = folder.path;
        if (!path.empty() && path.back() != '/') path += '/';
        const std::size_t nameAt = path.size();
        bool failed = false;
        for (;;) {
            errno = 0;
            const dirent* entry = ::readdir(dir);
            if (entry == nullptr) {
                failed = errno != 0;
                break;
            }
            const std::string_view name = entry->d_name;
            if (name == "." || name == "..") continue;
            path.resize(nameAt);
            path += name;
            const ListedName shown{path, std::string_view(path).substr(nameAt),
                                   lf_typeOf(path, entry->d_type)};
            const ListStep step = lf_lookAt(look_, shown);
            ListedEntry listed;
            listed.take = step.take;
            if (step.descend) {
                if (shown.type == ListedName::Type::link) {
                    std::error_code typeError;
                    if (fs::is_directory(fs::path(path), typeError)) {
                        listed.kind = ListedEntry::Kind::link;
                        listed.real = lf_realPath(fs::path(path)).native();
                    }
                } else if (shown.type == ListedName::Type::folder) {
                    listed.kind = ListedEntry::Kind::folder;
                    listed.real = lf_realInside(folder, name);
                }
            }
            if (!listed.take && listed.kind == ListedEntry::Kind::other) continue;
            listed.path = path;
            if (listed.take) {
                try {
                    listed.started = start_(listed.path);
                    if (listed.started && listed.started->afterListing)
                        after.push_back(std::move(listed.started->afterListing));
                } catch (...) {
                    listed.started = nullptr; // the caller's start reports its own errors
                }
            }
            entries.push_back(std::move(listed));
        }
        ::closedir(dir);
        return !failed;
    }

private:
    static ListedName::Type lf_typeOf(const std::string& path, unsigned char type) {
        switch (type) {
        case DT_REG:
            return ListedName::Type::file;
        case DT_DIR:
            return ListedName::Type::folder;
        case DT_LNK:
            return ListedName::Type::link;
        case DT_UNKNOWN:
            break;
        default:
            return ListedName::Type::other;
        }
        struct stat status {};
        if (::lstat(path.c_str(), &status) != 0) return ListedName::Type::other;
        if (S_ISREG(status.st_mode)) return ListedName::Type::file;
        if (S_ISDIR(status.st_mode)) return ListedName::Type::folder;
        if (S_ISLNK(status.st_mode)) return ListedName::Type::link;
        return ListedName::Type::other;
    }

    const std::function<ListStep(const ListedName&)>& look_;
    const std::function<std::unique_ptr<StartedTask>(std::string_view)>& start_;
};

// The listings of one tree, made by a few threads of its own while the caller takes the entries in
// the order of the walk. The folders are listed deepest first, each folder's in the order of its
// entries, so that the listings come about in the order the caller needs them. Links to folders are
// listed too, each real folder once (in the order the threads reach them), so that a loop of links
// ends.
class TreeListing : public std::enable_shared_from_this<TreeListing> {
public:
    TreeListing(const fs::path& root, const fs::path& real, const FolderLister& lister) : lister_(lister) {
        FolderListing& top = listings_.emplace_back();
        root_ = &top;
        top.path = root.native();
        top.real = real.native();
        reached_.insert(real.native());
        waiting_.push_back(&top);
    }
    TreeListing(const TreeListing&) = delete;
    TreeListing& operator=(const TreeListing&) = delete;

    // Starts the listing on up to `threads` of the scans' kept threads (a thread made for each listing
    // would cost more than listing most trees). Each holds the listing until it is done with it.
    void start(std::size_t threads) {
        for (std::size_t t = 0; t < threads; ++t) {
            {
                std::lock_guard lock(mutex_);
                ++working_;
            }
            try {
                gf_postScanTask([self = shared_from_this()] { self->work(); });
            } catch (...) {
                std::lock_guard lock(mutex_);
                --working_;
                if (t == 0) throw; // with fewer threads the listing is slower, not different
                break;
            }
        }
    }

    // Ends the listing and waits until no thread lists for it any more (the look and start of the
    // caller are not called after this). A thread still running the work after a listing is not
    // waited for: that work may hang on a slow file system, and touches nothing of the caller's.
    void finish() {
        std::unique_lock lock(mutex_);
        abandoned_ = true;
        waiting_.clear();
        more_.notify_all();
        left_.wait(lock, [this] { return working_ == inAfterWork_; });
    }

    FolderListing* root() { return root_; }

    // The listing once it is done; nothing when the listing ended without it (a stop).
    FolderListing* await(FolderListing& folder) {
        if (folder.done.load(std::memory_order_acquire)) return &folder;
        std::unique_lock lock(mutex_);
        awaited_ = &folder;
        const auto ready = [&] { return folder.done || (busy_ == 0 && waiting_.empty()); };
        while (!listed_.wait_for(lock, std::chrono::milliseconds(10), ready)) {
            if (runControl.stopping()) break;
            // Every thread of the listing is held by the work after a listing (a file on a slow file
            // system, say) while folders wait: one more thread lists them, so that the walk goes on
            // and the caller's waits for that work decide.
            if (!waiting_.empty() && busy_ == 0 && working_ == inAfterWork_) {
                ++working_;
                try {
                    gf_postScanTask([self = shared_from_this()] { self->work(); });
                } catch (...) {
                    --working_; // no thread: tried again at the next look
                }
            }
        }
        awaited_ = nullptr;
        return folder.done ? &folder : nullptr;
    }

private:
    void work() {
        AfterListing after;
        std::unique_lock lock(mutex_);
        for (;;) {
            more_.wait(lock, [this] { return !waiting_.empty() || busy_ == 0 || abandoned_; });
            if (waiting_.empty() || abandoned_) break;
            FolderListing& folder = *waiting_.back();
            waiting_.pop_back();
            if (runControl.stopping()) {
                waiting_.clear();
                continue;
            }
            ++busy_;
            lock.unlock();
            std::vector<ListedEntry> entries;
            after.clear();
            const bool failed = !lister_.list(folder, entries, after);
            lock.lock();
            const std::size_t before = waiting_.size();
            for (ListedEntry& entry : entries) {
                if (entry.kind == ListedEntry::Kind::other) continue;
                // A plain folder is always listed (it is reached by one path only); a link only when its
                // real folder was not reached yet.
                const bool first = reached_.insert(entry.real).second;
                if (entry.kind == ListedEntry::Kind::link && !first) continue;
                FolderListing& inner = listings_.emplace_back(); // a deque: stays in place as it grows
                inner.path = entry.path;
                inner.real = entry.real;
                entry.listing = &inner;
                waiting_.push_back(&inner);
            }
            // The first entry's folder is taken first.
            std::reverse(waiting_.begin() + static_cast<std::ptrdiff_t>(before), waiting_.end());
            const std::size_t added = waiting_.size() - before;
            folder.entries = std::move(entries);
            folder.failed = failed;
            folder.done.store(true, std::memory_order_release);
            --busy_;
            const bool finished = busy_ == 0 && waiting_.empty();
            // The walk is woken only by the listing it waits for (or by the end).
            const bool awaited = awaited_ == &folder || finished;
            const std::size_t threads = working_;
            if (!after.empty()) ++inAfterWork_;
            lock.unlock();
            if (awaited) listed_.notify_all();
            // A thread for each new folder (this one takes the first); all of them once the listing is
            // done. The threads also read the files they find: one left asleep is a core left idle.
            if (finished)
                more_.notify_all();
            else
                for (std::size_t i = 1; i < added && i < threads; ++i)
                    more_.notify_one();
            if (!after.empty()) {
                for (std::function<void()>& work : after) {
                    try {
                        work();
                    } catch (...) {
                        // the caller's work reports its own errors
                    }
                }
                after.clear();
                lock.lock();
                --inAfterWork_;
                continue;
            }
            lock.lock();
        }
        more_.notify_all();
        listed_.notify_all();
        --working_;
        left_.notify_all();
    }

    const FolderLister& lister_;
    std::mutex mutex_;
    std::condition_variable more_;     // folders to list, or the end
    std::condition_variable listed_;   // the awaited folder listed, or the end
    std::condition_variable left_;     // the last thread has left the listing
    std::size_t working_ = 0;          // threads that have yet to leave the listing
    std::size_t inAfterWork_ = 0;      // of those, the threads running the work after a listing
    FolderListing* awaited_ = nullptr; // the listing the walk waits for
    std::deque<FolderListing> listings_;
    FolderListing* root_ = nullptr;
    std::vector<FolderListing*> waiting_;
    std::size_t busy_ = 0;
    bool abandoned_ = false;
    std::unordered_set<PathText> reached_;
};

struct ListContext {
    std::size_t threads;
    const FolderLister& lister;
    const std::function<bool(ListedEntry&)>& take;
    EnteredFolders entered;
    bool ended = false; // a stop, or the caller ended the walk
};

void lf_listTree(const fs::path& root, const fs::path& real, ListContext& context);

// The entries of one listing in the order of the walk; false when an error of the iteration (or the
// end of the whole walk) ended the walk of this tree.
bool lf_takeInOrder(TreeListing& tree, FolderListing& listing, ListContext& context) {
    FolderListing* folder = tree.await(listing);
    if (!folder) {
        context.ended = true;
        return false;
    }
    for (ListedEntry& entry : folder->entries) {
        if (entry.take && !context.take(entry)) {
            context.ended = true;
            return false;
        }
        if (entry.kind == ListedEntry::Kind::folder) {
            if (context.entered.insert(entry.real).second && !lf_takeInOrder(tree, *entry.listing, context))
                return false;
        } else if (entry.kind == ListedEntry::Kind::link) {
            if (!context.entered.insert(entry.real).second) continue;
            // The walk behind a link ends by itself on an error. Its folder was listed through this
            // link, or (reached first through another path) is listed now through this one.
            if (entry.listing != nullptr)
                (void)lf_takeInOrder(tree, *entry.listing, context);
            else
                lf_listTree(fs::path(entry.path), fs::path(entry.real), context);
            if (context.ended) return false;
        }
    }
    return !folder->failed;
}

void lf_listTree(const fs::path& root, const fs::path& real, ListContext& context) {
    const auto tree = std::make_shared<TreeListing>(root, real, context.lister);
    tree->start(context.threads);
    struct Finish {
        TreeListing& tree;
        ~Finish() { tree.finish(); }
    } finish{*tree};
    (void)lf_takeInOrder(*tree, *tree->root(), context);
}

void lf_listFolderTree(const fs::path& root, std::size_t threads, const FolderLister& lister,
                       const std::function<bool(ListedEntry&)>& take) {
    const fs::path real = lf_realPath(root);
    ListContext context{std::max<std::size_t>(1, threads), lister, take, EnteredFolders{real.native()}};
    lf_listTree(root, real, context);
}

} // namespace

void gf_listFolderTree(const fs::path& root, std::size_t threads,
                       const std::function<ListStep(const fs::directory_entry&)>& look,
                       const std::function<bool(const fs::path&)>& take) {
    const IteratorLister lister(look);
    lf_listFolderTree(root, threads, lister,
                      [&take](ListedEntry& entry) { return take(fs::path(entry.path)); });
}

void gf_listFolderTreeStarting(
    const fs::path& root, std::size_t threads, const std::function<ListStep(const ListedName&)>& look,
    const std::function<std::unique_ptr<StartedTask>(std::string_view path)>& start,
    const std::function<bool(std::string_view path, std::unique_ptr<StartedTask> started)>& take) {
    const DirectLister lister(look, start);
    lf_listFolderTree(root, threads, lister,
                      [&take](ListedEntry& entry) { return take(entry.path, std::move(entry.started)); });
}

ScanFileRead gf_readScanFile(const char* path, std::uintmax_t maxBytes, std::string& bytes,
                             std::error_code* error) {
    bytes.clear();
    const auto fail = [error](ScanFileRead result, int code) {
        if (error != nullptr) *error = std::error_code(code, std::generic_category());
        return result;
    };
    // Not blocking: a pipe opens at once and is then refused as no regular file.
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return fail(errno == ENOENT ? ScanFileRead::missing : ScanFileRead::failed, errno);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat status {};
    if (::fstat(fd, &status) != 0) return fail(ScanFileRead::failed, errno);
    if (!S_ISREG(status.st_mode)) return fail(ScanFileRead::notRegular, 0);
    const auto size = static_cast<std::uintmax_t>(status.st_size);
    if (size > maxBytes) return fail(ScanFileRead::tooLarge, 0);
    // One byte more than the size: a read that gives just the size has met the end (a regular file gives
    // what is asked for while it has it), and a file that grew since is read on to its end.
    bytes.resize(static_cast<std::size_t>(size) + 1);
    std::size_t got = 0;
    for (;;) {
        if (got == bytes.size()) {
            if (bytes.size() > maxBytes) return fail(ScanFileRead::tooLarge, 0);
            bytes.resize(bytes.size() * 2);
        }
        const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int code = errno;
            bytes.clear();
            return fail(ScanFileRead::failed, code);
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
        if (got == static_cast<std::size_t>(size)) break;
    }
    bytes.resize(got);
    if (error != nullptr) error->clear();
    return ScanFileRead::read;
}
