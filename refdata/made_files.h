#pragma once
// The list of files the program itself wrote into the user's airport folders (airports\my_simaddon,
// airports\my_thirdparty), each with a hash of the content it wrote. Users keep their own airport and
// link files in the same folders; the list is how the scan and the add-on installer tell the
// program's files from the user's, so that they only ever replace or remove their own, and only while
// the user has not changed them since.
//
// The list is one text file, "made_files.txt" in the airports folder: one line per file,
// "<hash> <path>", the hash 64 hexadecimal digits (BLAKE2b-256 of the content, libsodium's
// generichash), the path relative to the airports folder with "/" separators. Lines that do not parse
// are dropped when the list is loaded. All members are safe to call from several threads.

#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

// The list's file name inside the airports folder.
inline constexpr std::string_view madeFilesListName = "made_files.txt";

// The hash that the list keeps of a content: 64 lower-case hexadecimal digits.
std::string gf_contentHash(std::string_view content);
// The hash of a file's content on disk; empty when it cannot be read.
std::string gf_fileHash(const std::filesystem::path& path);

class MadeFiles {
public:
    // What the list knows of one file on disk.
    enum class State {
        notListed, // not written by the program (a user's file, or none at all)
        unchanged, // written by the program and still as it wrote it
        changed,   // written by the program, changed since (by the user): it is the user's now
        missing,   // listed, but no longer on disk
    };

    // `base` is the folder the listed paths are relative to (the airports folder); the list is
    // `base`/made_files.txt.
    explicit MadeFiles(std::filesystem::path base);

    const std::filesystem::path& base() const { return baseFolder; }
    std::filesystem::path listPath() const { return baseFolder / madeFilesListName; }

    // Reads the list file. A missing file is an empty list (true); false when it exists but cannot be
    // read (the list is then empty and `error` tells why).
    bool load(std::error_code* error = nullptr);
    // Writes the list file atomically (sorted by path). False on failure.
    bool save(std::error_code* error = nullptr) const;

    // Notes that the program wrote `file` (a path inside the base folder, absolute or relative to the
    // working folder) with `content`.
    void record(const std::filesystem::path& file, std::string_view content);
    // Notes that the program wrote `file` with a content of the hash `hash` (gf_contentHash).
    void recordHash(const std::filesystem::path& file, std::string hash);
    // Notes that the program wrote `file`, hashing what is on disk now. False when it cannot be read.
    bool recordFromDisk(const std::filesystem::path& file);
    // Writes `content` to `file` atomically and records it; false (and nothing recorded) on failure.
    bool writeAndRecord(const std::filesystem::path& file, std::string_view content,
                        std::error_code* error = nullptr);
    // Forgets `file`.
    void forget(const std::filesystem::path& file);

    State state(const std::filesystem::path& file) const;
    // The states of many files at once (read on a few threads), in their order.
    std::vector<State> states(const std::vector<std::filesystem::path>& files) const;
    // True when the program wrote the file and it is still as the program wrote it.
    bool isMadeAndUnchanged(const std::filesystem::path& file) const {
        return state(file) == State::unchanged;
    }
    // True when `file` exists and the program may not touch it: it is not listed, or it was changed
    // since the program wrote it.
    bool isUsersFile(const std::filesystem::path& file) const;

    // Removes every regular file directly in `folder` that the program made and nobody changed, and
    // forgets it; listed files of the folder that are gone are forgotten. Files of the user (not
    // listed, or changed since) stay and are returned in `kept`. Files that could not be removed are
    // returned in `failed` and stay listed.
    struct Cleared {
        std::vector<std::filesystem::path> removed;
        std::vector<std::filesystem::path> kept;
        std::vector<std::filesystem::path> failed;
    };
    Cleared removeMadeFilesIn(const std::filesystem::path& folder);
    // Removes `file` when the program made it and nobody changed it, and forgets it. True when removed.
    bool removeIfMade(const std::filesystem::path& file);

    // The listed paths (relative, "/" separators) with their hashes.
    std::map<std::string, std::string> entries() const;

private:
    std::string keyOf(const std::filesystem::path& file) const;

    std::filesystem::path baseFolder;
    mutable std::mutex mutex;
    std::map<std::string, std::string> hashes; // key: relative path, value: hash
};
