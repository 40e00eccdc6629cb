#pragma once
// One live flight as the traffic reader accepts it, and the identity head that every aircraft record
// of the program starts with.

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

// The identity texts of an aircraft. The feed fills type, orig, dest, cs and reg; the traffic engine
// uses the other fields.
struct FlightIdent {
    std::string airl;   // airline ICAO code ("PVT" for a private flight)
    std::string type;   // ICAO aircraft type designator
    std::string orig;   // origin airport code
    std::string dest;   // destination airport code
    std::string cs;     // callsign
    std::string feedCs; // the callsign as it came from the feed
    std::string text;   // a further callsign text of the engine
    std::string reg;    // registration mark
    bool identFlag = false;
};

// The position block of one feed sample; the traffic engine keeps these in an aircraft's sample queue.
struct PosSample {
    double lat = 0.0;         // degrees
    double lon = 0.0;         // degrees
    double alt = 0.0;         // feet; 0 means on the ground
    double gs = 0.0;          // ground speed, knots
    double track = 0.0;       // degrees
    double vs = 0.0;          // vertical speed as sent, feet per minute
    double tas = 0.0;         // true airspeed, knots
    std::int64_t duePass = 0; // the engine pass at which the sample is due (64-bit: never wraps)
    bool airborne = false;
    bool standing = false;             // never set by the feed; the engine's mark for a standing aircraft
    bool hasTrueHeading = false;       // the true heading below came from the feed's own heading field
    std::optional<double> bank;        // radians (minus the reported roll)
    std::optional<double> trueHeading; // radians, in (0, 2*pi]
};

// One accepted live flight, queued by value in the adding stack.
struct TrafficRecord : FlightIdent {
    PosSample pos;
    double feedTime = 0.0;   // Unix seconds of the datagram
    std::uint32_t hexid = 0; // transponder address; above 10000 for every live flight
};

// The adding stack's queue: accepted records, oldest first, in slots that are used again and again. It
// grows (doubling) only when every slot is taken and never shrinks, so that a steady feed allocates
// nothing per record: the traffic reader moves a record into a free slot, the engine moves it out and
// frees the slot. Taking a record out of the front leaves its slot's strings with their room.
class TrafficRecordQueue {
public:
    template <bool Const> class Iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = TrafficRecord;
        using difference_type = std::ptrdiff_t;
        using Queue = std::conditional_t<Const, const TrafficRecordQueue, TrafficRecordQueue>;
        using reference = std::conditional_t<Const, const TrafficRecord&, TrafficRecord&>;
        using pointer = std::conditional_t<Const, const TrafficRecord*, TrafficRecord*>;

        Iterator() = default;
        Iterator(Queue* queue, std::size_t index) : queue_(queue), index_(index) {}
        reference operator*() const { return queue_->at(index_); }
        pointer operator->() const { return &queue_->at(index_); }
        Iterator& operator++() {
            ++index_;
            return *this;
        }
        Iterator operator++(int) {
            Iterator old = *this;
            ++index_;
            return old;
        }
        bool operator==(const Iterator& other) const { return index_ == other.index_; }

    private:
        Queue* queue_ = nullptr;
        std::size_t index_ = 0;
    };
    using iterator = Iterator<false>;
    using const_iterator = Iterator<true>;

    bool empty() const { return count_ == 0; }
    std::size_t size() const { return count_; }
    // Slots held (taken or free); for the benchmarks and tests of the queue's growth.
    std::size_t capacity() const { return slots_.size(); }

    TrafficRecord& front() { return slots_[head_]; }
    const TrafficRecord& front() const { return slots_[head_]; }
    TrafficRecord& back() { return at(count_ - 1); }
    const TrafficRecord& back() const { return at(count_ - 1); }

    void push_back(TrafficRecord&& record) {
        if (count_ == slots_.size()) grow();
        at(count_) = std::move(record);
        ++count_;
    }
    void push_back(const TrafficRecord& record) {
        if (count_ == slots_.size()) grow();
        at(count_) = record;
        ++count_;
    }
    void pop_front() {
        head_ = head_ + 1 == slots_.size() ? 0 : head_ + 1;
        if (--count_ == 0) head_ = 0;
    }
    void clear() {
        head_ = 0;
        count_ = 0;
    }

    iterator begin() { return {this, 0}; }
    iterator end() { return {this, count_}; }
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, count_}; }

private:
    static constexpr std::size_t firstSlots = 256;

    TrafficRecord& at(std::size_t i) { return slots_[wrap(i)]; }
    const TrafficRecord& at(std::size_t i) const { return slots_[wrap(i)]; }
    std::size_t wrap(std::size_t i) const {
        const std::size_t j = head_ + i;
        return j >= slots_.size() ? j - slots_.size() : j;
    }
    void grow() {
        std::vector<TrafficRecord> larger(slots_.empty() ? firstSlots : 2 * slots_.size());
        for (std::size_t i = 0; i < count_; ++i)
            larger[i] = std::move(at(i));
        slots_ = std::move(larger);
        head_ = 0;
    }

    std::vector<TrafficRecord> slots_;
    std::size_t head_ = 0;  // the oldest record's slot
    std::size_t count_ = 0; // records queued
};
