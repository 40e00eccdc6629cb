#pragma once
// One installed livery as the livery scan finds it, the list of scanned liveries, and the file
// LiveriesScanned.xml that carries the list from a scan to every later start-up.

#include <cstdint>
#include <filesystem>
#include <list>
#include <memory>
#include <span>
#include <string>
#include <vector>

struct LiveryData {
    std::string airl;          // airline code (upper case); "ZZZ" for a generic livery
    std::string type;          // ICAO type designator of the model
    std::string title;         // the title the simulator creates the aircraft with
    std::string atcid;         // registration; empty when the livery has none
    std::int32_t priority = 0; // rank of the scanned folder (1..10); 0 when read back from the file
    bool cargo = false;

    // Equal when title, airline, type, registration and cargo flag are; the priority takes no part.
    friend bool operator==(const LiveryData& a, const LiveryData& b) {
        return a.title == b.title && a.airl == b.airl && a.type == b.type && a.atcid == b.atcid &&
               a.cargo == b.cargo;
    }
};

// Order by airline, then type, then title (byte order).
bool gf_liveryLess(const LiveryData& a, const LiveryData& b);
// Stable sort of a livery list by airline, type and title.
void gf_sortLiveries(std::list<LiveryData>& liveries);

// A livery's sort key, made once so that most comparisons read no record: the first 8 bytes of airline
// and type and the first 16 of the title as numbers (big-endian, zeros after the end), which order as
// the texts do wherever they differ, and the lengths; the texts themselves decide only between equal
// prefixes. A scan's tasks make the keys of their liveries, so that the sort after the scan need not.
// The key may also hold the size of the record's line in LiveriesScanned.xml (the scan's tasks set it),
// so that the file's text is laid out without a pass over the records.
struct LiverySortKey {
    std::uint64_t airl = 0;
    std::uint64_t type = 0;
    std::uint64_t title[2] = {0, 0};
    std::uint16_t airlSize = 0; // at most 9: longer texts compare as texts
    std::uint16_t typeSize = 0;
    std::uint32_t lineBytes = 0;            // 0: not known (no line is empty)
    std::list<LiveryData>::iterator livery; // set by whoever holds the record in its list
};
LiverySortKey gf_sortKeyOf(const LiveryData& livery); // the line's size not set
// The size of the record's line in LiveriesScanned.xml.
std::uint32_t gf_liveryLineBytes(const LiveryData& livery);

// Keys in one block that is left as it comes until its keys are set: the threads that set them are the
// first to touch its pages (a block zeroed first on one thread costs that thread a fault per page).
class LiverySortKeys {
public:
    LiverySortKeys() = default;
    explicit LiverySortKeys(std::size_t size);
    LiverySortKey* data() { return keys_.get(); }
    std::size_t size() const { return size_; }
    std::span<LiverySortKey> keys() { return {keys_.get(), size_}; }

private:
    struct Free {
        void operator()(LiverySortKey* keys) const;
    };
    std::unique_ptr<LiverySortKey, Free> keys_;
    std::size_t size_ = 0;
};

// As gf_sortLiveries, with the keys of every record of the list made already (in any order).
void gf_sortLiveries(std::list<LiveryData>& liveries, std::vector<LiverySortKey>&& keys);

// The keys of every record of the list, in list order.
std::vector<LiverySortKey> gf_sortKeysOf(std::list<LiveryData>& liveries);
// A stable sort of keys by airline, type and title: parts sorted on several threads, then merged.
void gf_sortLiveryKeys(std::span<LiverySortKey> keys);
// The same in two steps, for keys sorted in parts by whoever made them: each run sorted, then the
// neighbouring runs merged (bounds: 0, the ends of the runs in order, the last at keys.size()).
void gf_sortLiveryKeyRun(std::span<LiverySortKey> run);
void gf_mergeLiveryKeyRuns(std::span<LiverySortKey> keys, std::vector<std::size_t> bounds);

// The scanned liveries: filled by the scan or by the reader, emptied once the tables are built.
extern std::list<LiveryData> scannedLiveries;

// LiveriesScanned.xml in the output folder of the working folder.
std::filesystem::path gf_liveriesScannedPath();

// Writes `scannedLiveries` to the file (meta header, then root > liveries > liv). An empty list writes
// nothing and returns true. A failed save is logged as an error and returns false.
bool lf_writeScannedLiveries(const std::filesystem::path& path);
// The same for the records of the keys, in the keys' order (the records stay where they are).
bool lf_writeLiveriesInOrder(const std::filesystem::path& path, std::span<const LiverySortKey> keys);

// Empties `scannedLiveries` and fills it from the file, sorted. Throws orv::UserErrorException:
// 51 the file is missing or does not parse, 52 root has no <liveries>, 999 a record lacks airl,
// type or title, 533 no record at all.
void lf_readScannedLiveries(const std::filesystem::path& path);
