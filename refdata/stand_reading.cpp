#include "refdata/stand_reading.h"

#include "core/geodesy.h"
#include "core/parallel.h"
#include "core/units.h"
#include "refdata/parking_quality.h"
#include "refdata/type_lookups.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <exception>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>

#include <fmt/format.h>

// ---- Helper threads ------------------------------------------------------------------------------

namespace {

// Pieces of the work per thread, so that threads that meet faster work take more.
constexpr std::size_t piecesPerThread = 4;

// Helper threads of the reading of stands, started on first use and kept for the program's life: a
// reading wakes them instead of starting threads of its own, which would cost more than the reading of a
// large file's stands. The reading thread wakes two helpers and each woken helper two more, so that no
// thread pays for waking them all; a helper that has just worked watches for more work for a moment
// before it sleeps, as a reading's parts come shortly one after the other. The reading thread is always
// one of the workers and waits only for the helpers that joined in, so a reading ends even when no helper
// wakes (in a forked child there is none), and a second reading while one runs is done by its own thread
// alone.
class ReadingHelpers {
public:
    static ReadingHelpers& instance() {
        // Never destroyed: its threads wait for work until the program ends.
        static ReadingHelpers* const helpers = new ReadingHelpers(gf_hardwareThreads() - 1);
        return *helpers;
    }

    // A moment of a thread that watches for a change.
    static void relax() {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#else
        std::this_thread::yield();
#endif
    }

    // The threads a reading may use: the helpers and the reading thread.
    std::size_t threads() const {
        return count_ + 1;
    }

    // Calls work() on the calling thread and on up to `wanted` helpers, each call taking its share of the
    // work from what is left; returns when every call has returned. The first exception is rethrown.
    void run(std::size_t wanted, const std::function<void()>& work) {
        std::unique_lock busy(runMutex_, std::try_to_lock);
        wanted = std::min(wanted, count_);
        if (!busy || wanted == 0) {
            work();
            return;
        }
        work_ = &work;
        wanted_.store(wanted, std::memory_order_relaxed);
        state_.store(open, std::memory_order_release);
        const std::uint32_t generation = ++generation_;
        wake(0, generation);
        wake(1, generation);
        std::exception_ptr failure;
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        // Closed: helpers that wake from now on stay out; the reading waits for those inside.
        for (std::uint32_t state = state_.fetch_and(~open, std::memory_order_acq_rel) & ~open; state != 0;
             state = state_.load(std::memory_order_acquire))
            state_.wait(state, std::memory_order_acquire);
        work_ = nullptr;
        std::lock_guard lock(failureMutex_);
        if (!failure) failure = std::exchange(failure_, nullptr);
        failure_ = nullptr;
        if (failure) std::rethrow_exception(failure);
    }

private:
    static constexpr std::uint32_t open = 0x80000000U; // the state's mark of work to join; below it, the
                                                       // number of helpers inside
    static constexpr auto watchTime = std::chrono::microseconds(100);

    explicit ReadingHelpers(std::size_t count)
        : signals_(std::make_unique<std::atomic<std::uint32_t>[]>(count)) {
        for (std::size_t i = 0; i < count; ++i) {
            try {
                std::thread([this, i] { helperLoop(i); }).detach();
                ++count_;
            } catch (const std::system_error&) {
                break; // no more threads to be had: the reading makes do with those it has
            }
        }
    }

    void wake(std::size_t helper, std::uint32_t generation) {
        if (helper >= wanted_.load(std::memory_order_relaxed)) return;
        signals_[helper].store(generation, std::memory_order_release);
        signals_[helper].notify_one();
    }

    bool join() {
        std::uint32_t state = state_.load(std::memory_order_acquire);
        while ((state & open) != 0)
            if (state_.compare_exchange_weak(state, state + 1, std::memory_order_acq_rel)) return true;
        return false;
    }

    void leave() {
        if (state_.fetch_sub(1, std::memory_order_acq_rel) == 1) state_.notify_one();
    }

    void helperLoop(std::size_t index) {
        std::atomic<std::uint32_t>& signal = signals_[index];
        std::uint32_t seen = 0;
        while (true) {
            const auto until = std::chrono::steady_clock::now() + watchTime;
            while (signal.load(std::memory_order_acquire) == seen && std::chrono::steady_clock::now() < until)
                relax();
            while (signal.load(std::memory_order_acquire) == seen)
                signal.wait(seen, std::memory_order_acquire);
            seen = signal.load(std::memory_order_acquire);
            wake(2 * index + 2, seen);
            wake(2 * index + 3, seen);
            if (!join()) continue;
            try {
                (*work_)();
            } catch (...) {
                std::lock_guard lock(failureMutex_);
                if (!failure_) failure_ = std::current_exception();
            }
            leave();
        }
    }

    std::unique_ptr<std::atomic<std::uint32_t>[]>
        signals_; // per helper: the last generation it was woken for
    std::size_t count_ = 0;
    std::mutex runMutex_; // one reading at a time uses the helpers
    std::atomic<std::uint32_t> generation_{0};
    std::atomic<std::size_t> wanted_{0};
    std::atomic<std::uint32_t> state_{0};
    const std::function<void()>* work_ = nullptr;
    std::mutex failureMutex_;
    std::exception_ptr failure_;
};

// Calls fn(begin, end) for pieces of [0, count) that together cover it, on the calling thread and, for a
// count of at least 2 x perThread, on helpers (at most one thread per perThread indices and at most
// `threads` in all), each thread taking the next piece while there is one.
template <typename Fn>
void lf_inPieces(std::size_t count, std::size_t perThread, std::size_t threads, Fn&& fn) {
    threads = std::clamp<std::size_t>(count / std::max<std::size_t>(perThread, 1), 1,
                                      std::max<std::size_t>(threads, 1));
    if (threads > 1) threads = std::min(threads, ReadingHelpers::instance().threads());
    if (threads == 1) {
        fn(std::size_t{0}, count);
        return;
    }
    const std::size_t pieces = threads * piecesPerThread;
    const std::size_t size = (count + pieces - 1) / pieces;
    std::atomic<std::size_t> next{0};
    ReadingHelpers::instance().run(threads - 1, [&] {
        for (std::size_t begin = size * next++; begin < count; begin = size * next++)
            fn(begin, std::min(count, begin + size));
    });
}

} // namespace

namespace {

bool lf_isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Sets `slot` to the attribute (or its text) unless an earlier one of the name took it.
void lf_take(pugi::xml_attribute& slot, const pugi::xml_attribute& attribute) {
    if (!slot) slot = attribute;
}
void lf_take(const char*& slot, const pugi::xml_attribute& attribute) {
    if (!slot) slot = attribute.value();
}

// The texts of the attributes that the reading of a stand or a flight takes: what StandAttributes and
// OptAttributes give, without a library call for each handle; null for an absent attribute.
struct StandTexts {
    const char *id = nullptr, *latitude = nullptr, *longitude = nullptr, *heading = nullptr,
               *radius = nullptr, *cargo = nullptr, *ramp = nullptr, *heli = nullptr;
};
struct OptTexts {
    const char *reg = nullptr, *airl = nullptr, *type = nullptr, *soft = nullptr, *day = nullptr,
               *hh = nullptr, *cs = nullptr, *cpl = nullptr;
};

// The member of a stand's handles or texts that holds the attribute of this name; null for an attribute
// the reading does not take.
template <typename Found> auto lf_standMember(std::string_view name) -> decltype(&Found::id) {
    switch (name.size()) {
    case 2:
        return name == "id" ? &Found::id : nullptr;
    case 4:
        return name == "ramp" ? &Found::ramp : name == "heli" ? &Found::heli : nullptr;
    case 5:
        return name == "cargo" ? &Found::cargo : nullptr;
    case 6:
        return name == "radius" ? &Found::radius : nullptr;
    case 7:
        return name == "heading" ? &Found::heading : nullptr;
    case 8:
        return name == "latitude" ? &Found::latitude : nullptr;
    case 9:
        return name == "longitude" ? &Found::longitude : nullptr;
    default:
        return nullptr;
    }
}

// The same for a flight element.
template <typename Found> auto lf_optMember(std::string_view name) -> decltype(&Found::reg) {
    switch (name.size()) {
    case 2:
        return name == "hh" ? &Found::hh : name == "cs" ? &Found::cs : nullptr;
    case 3:
        return name == "reg"   ? &Found::reg
               : name == "day" ? &Found::day
               : name == "cpl" ? &Found::cpl
                               : nullptr;
    case 4:
        return name == "airl"   ? &Found::airl
               : name == "type" ? &Found::type
               : name == "soft" ? &Found::soft
                                : nullptr;
    default:
        return nullptr;
    }
}

// One pass over the attributes of an element into handles or texts, the first of each name kept.
template <typename Found, typename Member>
Found lf_slots(const pugi::xml_node& element, Member (*memberOf)(std::string_view)) {
    Found found;
    // The end of the list is an empty handle, whose name is "": only then is the handle itself asked.
    for (pugi::xml_attribute a = element.first_attribute();; a = a.next_attribute()) {
        const char* name = a.name();
        if (*name == '\0') {
            if (!a) break;
            continue;
        }
        if (const Member member = memberOf(name)) lf_take(found.*member, a);
    }
    return found;
}

template <typename Found> Found lf_standSlots(const pugi::xml_node& parkpos) {
    return lf_slots<Found>(parkpos, &lf_standMember<Found>);
}

template <typename Found> Found lf_optSlots(const pugi::xml_node& opt) {
    return lf_slots<Found>(opt, &lf_optMember<Found>);
}

} // namespace

StandAttributes gf_standAttributes(const pugi::xml_node& parkpos) {
    return lf_standSlots<StandAttributes>(parkpos);
}

OptAttributes gf_optAttributes(const pugi::xml_node& opt) {
    return lf_optSlots<OptAttributes>(opt);
}

namespace {

// The number of a value text as gf_finiteNumber reads it; false for none. The usual form (an optional
// minus, at least one digit, optionally a point and at least one digit, at most 15 digits in all, no
// exponent) is read here: its digits make an integer that a double holds exactly, and one division by
// an exact power of ten rounds as from_chars rounds the text. Any other form goes the general way.
bool lf_readNumber(const char* text, double& value) {
    static constexpr double powersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                             1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const char* p = text;
    const bool negative = *p == '-';
    if (negative) ++p;
    std::uint64_t mantissa = 0;
    int digits = 0;
    int decimals = 0;
    while (lf_isDigit(*p)) {
        mantissa = mantissa * 10 + static_cast<std::uint64_t>(*p++ - '0');
        ++digits;
    }
    bool usual = digits > 0;
    if (usual && *p == '.') {
        ++p;
        while (lf_isDigit(*p)) {
            mantissa = mantissa * 10 + static_cast<std::uint64_t>(*p++ - '0');
            ++decimals;
        }
        usual = decimals > 0;
    }
    if (usual && digits + decimals <= 15 && *p != 'e' && *p != 'E') {
        const double magnitude = static_cast<double>(mantissa) / powersOfTen[decimals];
        value = negative ? -magnitude : magnitude;
        return true;
    }
    const auto general = gf_finiteNumber(text);
    if (general) value = *general;
    return general.has_value();
}

// The number of an attribute's text, or `otherwise` (also for an absent attribute).
double lf_numberOr(const char* text, double otherwise) {
    double value = otherwise;
    return text && lf_readNumber(text, value) ? value : otherwise;
}

} // namespace

std::optional<double> gf_finiteNumberOf(const pugi::xml_attribute& attribute) {
    double value = 0.0;
    if (!lf_readNumber(attribute.value(), value)) return std::nullopt;
    return value;
}

namespace {

// The one radius rule: a finite number within any stand's radius.
bool lf_readRadius(const char* radius, double& metres) {
    return radius && lf_readNumber(radius, metres) && std::abs(metres) <= maxStandRadiusMetres;
}

} // namespace

std::optional<double> gf_standRadiusOf(const pugi::xml_attribute& radius) {
    double metres = 0.0;
    if (!lf_readRadius(radius ? radius.value() : nullptr, metres)) return std::nullopt;
    return metres;
}

namespace {

// The usual forms of a half-hour text ("n" or "a:b" in digits only, slots below 48, a <= b); empty for
// any other text, which goes to gf_hours2bitset (and may be logged there).
std::optional<HalfHourSet> lf_usualHalfHours(const char* text) {
    const auto number = [](const char*& p) {
        unsigned value = 0;
        int digits = 0;
        while (lf_isDigit(*p) && digits < 3) {
            value = value * 10 + static_cast<unsigned>(*p++ - '0');
            ++digits;
        }
        return digits > 0 ? static_cast<int>(value) : -1;
    };
    const char* p = text;
    const int first = number(p);
    int last = first;
    if (first >= 0 && *p == ':') {
        ++p;
        last = number(p);
    }
    if (*p != '\0' || first < 0 || first > last || last >= 48) return std::nullopt;
    const std::uint64_t upTo = (std::uint64_t{1} << (last + 1)) - 1;
    const std::uint64_t below = (std::uint64_t{1} << first) - 1;
    return HalfHourSet(upTo & ~below);
}

} // namespace

HalfHourSet gf_halfHoursOf(const char* text) {
    if (const auto usual = lf_usualHalfHours(text)) return *usual;
    return gf_hours2bitset(text);
}

OptIdentity gf_optIdentityOf(const OptAttributes& attributes) {
    OptIdentity identity;
    const std::string_view cs = attributes.cs.as_string();
    if (const auto colon = cs.find(':'); colon != std::string_view::npos) {
        identity.cs = cs.substr(0, colon);
        identity.cs2 = cs.substr(colon + 1);
    } else {
        identity.cs = cs;
    }
    const std::string_view reg = attributes.reg.as_string();
    if (!reg.empty()) {
        if (const auto row = gf_findRegRecord(reg)) {
            identity.airl = row->opr.empty() ? row->airl : row->opr;
            identity.type = row->type;
            return identity;
        }
    }
    identity.airl = attributes.airl.as_string();
    identity.type = attributes.type.as_string();
    return identity;
}

namespace {

// FNV-1a: ids and registrations are short, and tables of this size are not worth a stronger hash.
std::uint64_t lf_hash(std::string_view text) {
    std::uint64_t h = 0xcbf29ce484222325ULL;
    for (const char c : text)
        h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
    return h;
}

// The registration table's airline and type of each registration met in a file, looked up once per
// registration (files repeat the same few aircraft thousands of times). The registrations are views into
// the document. A row given is valid until the next look-up.
class RegistrationRows {
public:
    struct Row {
        std::string airl; // the operator when the table gives one
        std::string type;
        bool found = false;
    };

    const Row& of(std::string_view reg) {
        if (2 * (rows_.size() + 1) > slots_.size()) grow();
        const std::uint64_t h = lf_hash(reg);
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = static_cast<std::size_t>(h) & mask;; i = (i + 1) & mask) {
            const std::uint32_t slot = slots_[i];
            if (slot == 0) {
                Row& row = rows_.emplace_back();
                if (const auto record = gf_findRegRecord(reg)) {
                    row.airl = record->opr.empty() ? record->airl : record->opr;
                    row.type = record->type;
                    row.found = true;
                }
                regs_.push_back(reg);
                slots_[i] = static_cast<std::uint32_t>(rows_.size());
                return row;
            }
            if (regs_[slot - 1] == reg) return rows_[slot - 1];
        }
    }

private:
    void grow() {
        slots_.assign(std::max<std::size_t>(64, 2 * slots_.size()), 0);
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t k = 0; k < regs_.size(); ++k) {
            std::size_t i = static_cast<std::size_t>(lf_hash(regs_[k])) & mask;
            while (slots_[i] != 0)
                i = (i + 1) & mask;
            slots_[i] = static_cast<std::uint32_t>(k + 1);
        }
    }

    std::vector<std::uint32_t> slots_; // a power of two of slots: 0 free, else a row's number from 1
    std::vector<std::string_view> regs_;
    std::vector<Row> rows_;
};

// A half-hour text left for later: the reading of a file on several threads reads the unusual texts
// afterwards, in file order, so that their faults are logged as one thread would log them.
struct LaterHalfHours {
    std::size_t stand; // index in the stands of the reading
    std::size_t opt;
    const char* text;
};

// What the reading of stands keeps from one stand to the next.
struct StandContext {
    RegistrationRows registrations;
    std::vector<pugi::xml_node> opts;   // the flight elements of the stand being read
    std::vector<OptTexts> flights;      // their texts, when the stand was scanned
    std::vector<LaterHalfHours>* later; // null: unusual half-hour texts are read at once
};

bool lf_isOpt(const char* name) {
    return name[0] == 'o' && name[1] == 'p' && name[2] == 't' && name[3] == '\0';
}

// pugi::xml_attribute::as_int(0) of the flight's day: one digit directly, any other text through the
// library (the first attribute of the name, as the text is).
int lf_dayOf(const pugi::xml_node& opt, const char* day) {
    if (!day) return 0;
    if (lf_isDigit(day[0]) && day[1] == '\0') return day[0] - '0';
    return opt.attribute("day").as_int(0);
}

// pugi::xml_attribute::as_bool(false) of an attribute's text: true when it starts with 1, t, T, y or Y.
bool lf_flag(const char* text) {
    if (!text) return false;
    const char first = *text;
    return first == '1' || first == 't' || first == 'T' || first == 'y' || first == 'Y';
}

// The text of an attribute, "" for an absent one (as pugixml gives it).
const char* lf_text(const char* text) {
    return text ? text : "";
}

// Appends the text to an empty string: the short texts of a file fit the string itself, and appending
// them is the string's shortest way.
void lf_setText(std::string& target, const char* text, std::size_t length) {
    target.append(text, length);
}
void lf_setText(std::string& target, const char* text) {
    lf_setText(target, text, std::strlen(text));
}

// The identity of the flight (gf_optIdentityOf) set on its new entry.
void lf_setIdentity(ParkOpt& entry, const OptTexts& texts, RegistrationRows& registrations) {
    const char* cs = lf_text(texts.cs);
    if (const char* colon = std::strchr(cs, ':')) {
        lf_setText(entry.cs, cs, static_cast<std::size_t>(colon - cs));
        lf_setText(entry.cs2, colon + 1);
    } else {
        lf_setText(entry.cs, cs);
    }
    const char* reg = lf_text(texts.reg);
    const std::size_t regLength = std::strlen(reg);
    lf_setText(entry.reg, reg, regLength);
    if (regLength != 0) {
        const RegistrationRows::Row& row = registrations.of({reg, regLength});
        if (row.found) {
            lf_setText(entry.airl, row.airl.data(), row.airl.size());
            lf_setText(entry.type, row.type.data(), row.type.size());
            return;
        }
    }
    lf_setText(entry.airl, lf_text(texts.airl));
    lf_setText(entry.type, lf_text(texts.type));
}

// The flights of a stand from `count` flight elements, flight(k) giving the texts and the day of the
// kth; `stand` is the index the stand will have among the stands read.
template <typename Flight>
std::vector<ParkOpt> lf_readFlights(std::size_t count, Flight&& flight, std::uint32_t origin,
                                    std::size_t stand, StandContext& context) {
    std::vector<ParkOpt> opts;
    if (count == 0) return opts;
    opts.reserve(count);
    for (std::size_t k = 0; k < count; ++k) {
        const auto [texts, day] = flight(k);
        const char* hh = lf_text(texts.hh);
        if (*hh == '\0' || day < 1 || day > 7) continue;
        ParkOpt& entry = opts.emplace_back();
        lf_setIdentity(entry, texts, context.registrations);
        if (const auto usual = lf_usualHalfHours(hh))
            entry.hh = *usual;
        else if (context.later)
            context.later->push_back({stand, opts.size() - 1, hh});
        else
            entry.hh = gf_hours2bitset(hh);
        entry.seq = static_cast<std::uint32_t>(opts.size());
        entry.day = static_cast<std::uint32_t>(day);
        entry.origin = origin;
        entry.real = lf_flag(texts.soft) ? 0 : 1;
        entry.cpl = lf_flag(texts.cpl);
    }
    opts.shrink_to_fit();
    return opts;
}

// The stand's flights: its child elements named "opt".
std::vector<ParkOpt> lf_readOpts(const pugi::xml_node& parkpos, std::uint32_t origin, std::size_t stand,
                                 StandContext& context) {
    context.opts.clear();
    for (pugi::xml_node child = parkpos.first_child(); child; child = child.next_sibling())
        if (lf_isOpt(child.name())) context.opts.push_back(child);
    const auto flight = [&](std::size_t k) {
        const OptTexts texts = lf_optSlots<OptTexts>(context.opts[k]);
        return std::pair(texts, lf_dayOf(context.opts[k], texts.day));
    };
    return lf_readFlights(context.opts.size(), flight, origin, stand, context);
}

// The stand of the texts appended to `stands`, its flights from flights(index of the stand).
template <typename Flights>
void lf_appendStandWith(std::vector<ParkPos>& stands, const StandTexts& texts, std::string id,
                        Flights&& flights) {
    const double lat = lf_numberOr(texts.latitude, 0.0);
    const double lon = lf_numberOr(texts.longitude, 0.0);
    if (lat == 0.0 && lon == 0.0) return;
    // Files of other people: a position off the earth is no stand.
    if (std::abs(lat) > 90.0 || std::abs(lon) > 180.0) return;
    // A radius beyond any stand's counts as absent, and a heading is taken within one turn: values of
    // that size would not read back as written after the conversions (metres to nautical miles,
    // degrees to radians) and would drift with every save.
    double radius = 0.0;
    if (!lf_readRadius(texts.radius, radius)) radius = 0.0;
    double heading = lf_numberOr(texts.heading, 0.0);
    if (std::abs(heading) > 360.0) heading = std::fmod(heading, 360.0);
    stands.emplace_back(std::move(id), flights(stands.size()), lat, lon, heading * radiansPerDegree, radius,
                        lf_flag(texts.cargo), lf_flag(texts.ramp), lf_flag(texts.heli));
}

// gf_appendStand with the context of the reading.
void lf_appendStand(std::vector<ParkPos>& stands, const pugi::xml_node& parkpos, const StandTexts& texts,
                    std::string id, std::uint32_t origin, StandContext& context) {
    lf_appendStandWith(stands, texts, std::move(id),
                       [&](std::size_t stand) { return lf_readOpts(parkpos, origin, stand, context); });
}

} // namespace

void gf_appendStand(std::vector<ParkPos>& stands, const pugi::xml_node& parkpos,
                    const StandAttributes& attributes, std::string id, std::uint32_t origin) {
    const auto text = [](const pugi::xml_attribute& a) { return a ? a.value() : nullptr; };
    const StandTexts texts{text(attributes.id),      text(attributes.latitude), text(attributes.longitude),
                           text(attributes.heading), text(attributes.radius),   text(attributes.cargo),
                           text(attributes.ramp),    text(attributes.heli)};
    StandContext context{{}, {}, {}, nullptr};
    lf_appendStand(stands, parkpos, texts, std::move(id), origin, context);
}

// ---- Stand ids -------------------------------------------------------------------------------------

StandIdSet::StandIdSet(std::size_t expected) {
    std::size_t capacity = 16;
    while (capacity < 2 * expected)
        capacity *= 2;
    slots_.resize(capacity);
    ids_.reserve(expected);
}

std::uint64_t StandIdSet::prepare(std::string_view id) const {
    const std::uint64_t h = lf_hash(id);
    __builtin_prefetch(&slots_[static_cast<std::size_t>(h) & (slots_.size() - 1)]);
    return h;
}

bool StandIdSet::insert(std::string_view id, std::uint64_t h) {
    if (2 * (ids_.size() + 1) > slots_.size()) grow();
    const std::uint64_t fingerprint = h & 0xffffffff00000000ULL;
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = static_cast<std::size_t>(h) & mask;; i = (i + 1) & mask) {
        std::uint64_t& slot = slots_[i];
        if (slot == 0) {
            ids_.push_back(id);
            slot = fingerprint | ids_.size();
            return true;
        }
        if ((slot & 0xffffffff00000000ULL) == fingerprint && ids_[(slot & 0xffffffffULL) - 1] == id)
            return false;
    }
}

void StandIdSet::grow() {
    slots_.assign(slots_.size() * 2, 0);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t k = 0; k < ids_.size(); ++k) {
        const std::uint64_t h = lf_hash(ids_[k]);
        std::size_t i = static_cast<std::size_t>(h) & mask;
        while (slots_[i] != 0)
            i = (i + 1) & mask;
        slots_[i] = (h & 0xffffffff00000000ULL) | (k + 1);
    }
}

// ---- Neighbours ------------------------------------------------------------------------------------

namespace {

// Stands larger than this are compared with every other stand; the others only with the stands of the
// grid cells around them. No real stand comes near it: it keeps a file's oversized stand from making the
// cells as large as the airport.
constexpr double largeStandRadiusNm = 0.1;

// A layout of fewer stands than this for each thread is searched on fewer threads.
constexpr std::size_t neighboursPerThread = 512;

bool lf_isNeighbour(const ParkPos& a, const ParkPos& b) {
    return a.sid != b.sid && a.radius + b.radius > 1.1 * gf_distanceNm({a.lat, a.lon}, {b.lat, b.lon});
}

// std::remainder(degrees, 360.0), without the library call for the differences of two longitudes of the
// earth: one turn off, subtracted or added, is exact there.
double lf_eastOf(double degrees) {
    if (std::abs(degrees) <= 180.0) return degrees;
    if (degrees > 180.0 && degrees < 540.0) return degrees - 360.0;
    if (degrees < -180.0 && degrees > -540.0) return degrees + 360.0;
    return std::remainder(degrees, 360.0);
}

struct Cell {
    std::int64_t row = 0;
    std::int64_t col = 0;
    bool operator==(const Cell&) const = default;
};

} // namespace

// Two ordinary stands can only be neighbours within twice the largest ordinary radius / 1.1, so they are
// looked for in a grid of cells of that size: each stand is compared with the stands of its own and the
// eight cells around it, and the distance is computed only for a pair that a flat-earth measure (never
// longer than the distance, with a margin) does not already set too far apart. The stands are put in
// their cells by counting, in stand order, without sorting: as one block of cells row by row when the
// block is not much larger than the number of stands, else through a table of buckets (a cell's hash)
// whose stands are compared with their cell before use.
void gf_setNeighbours(std::vector<ParkPos>& stands) {
    const std::size_t n = stands.size();
    const double nmPerDegree = gf_distanceNm({0.0, 0.0}, {1.0, 0.0});
    const double lon0 = n == 0 ? 0.0 : stands.front().lon;
    // Flat positions in nautical miles: north, and east measured from the first stand (an airport on the
    // date line stays in one piece), the east one still to be narrowed to the stands' band below.
    // Kept apart from the stands, so that the comparisons read only these few bytes of each stand.
    struct Flat {
        double north;
        double east;
        double radius;
        Cell cell;
    };
    std::vector<Flat> flat(n);
    std::vector<std::uint32_t> large; // indices
    double maxRadius = 0.0;
    double maxAbsLat = 0.0;
    std::mutex merge;
    lf_inPieces(n, neighboursPerThread, allReadingThreads, [&](std::size_t begin, std::size_t end) {
        std::vector<std::uint32_t> pieceLarge;
        double pieceRadius = 0.0;
        double pieceLat = 0.0;
        for (std::size_t i = begin; i < end; ++i) {
            const ParkPos& s = stands[i];
            if (s.radius > largeStandRadiusNm)
                pieceLarge.push_back(static_cast<std::uint32_t>(i));
            else
                pieceRadius = std::max(pieceRadius, s.radius);
            pieceLat = std::max(pieceLat, std::abs(s.lat));
            flat[i] = {s.lat * nmPerDegree, lf_eastOf(s.lon - lon0) * nmPerDegree, s.radius, {}};
        }
        std::lock_guard lock(merge);
        large.insert(large.end(), pieceLarge.begin(), pieceLarge.end());
        maxRadius = std::max(maxRadius, pieceRadius);
        maxAbsLat = std::max(maxAbsLat, pieceLat);
    });
    std::sort(large.begin(), large.end());
    // Cells a little larger than the reach, never so small that their numbers overflow.
    const double cellNm = std::max(2.0 * maxRadius / 1.1 * 1.05, 1e-4);
    // East-west distances shrink towards the poles: the narrowest meridian spacing of the stands' band.
    const double cosLat = std::max(std::cos(std::min(maxAbsLat + 0.5, 90.0) * radiansPerDegree), 1e-3);
    Cell low{INT64_MAX, INT64_MAX};
    Cell high{INT64_MIN, INT64_MIN};
    for (Flat& f : flat) {
        f.east *= cosLat;
        f.cell = {static_cast<std::int64_t>(std::floor(f.north / cellNm)),
                  static_cast<std::int64_t>(std::floor(f.east / cellNm))};
        if (f.radius <= largeStandRadiusNm) {
            low = {std::min(low.row, f.cell.row), std::min(low.col, f.cell.col)};
            high = {std::max(high.row, f.cell.row), std::max(high.col, f.cell.col)};
        }
    }
    // The block: one cell more on every side, so that the cells around a stand are always in it.
    const std::uint64_t limit = 4 * static_cast<std::uint64_t>(n) + 1024;
    const std::uint64_t rows = low.row > high.row ? 0 : static_cast<std::uint64_t>(high.row - low.row) + 3;
    const std::uint64_t cols = low.col > high.col ? 0 : static_cast<std::uint64_t>(high.col - low.col) + 3;
    const bool block = rows <= limit && cols <= limit && rows * cols <= limit;
    std::size_t slotCount = 16;
    if (block)
        slotCount = static_cast<std::size_t>(rows * cols);
    else
        while (slotCount < 2 * n)
            slotCount *= 2;
    const auto slotOf = [&](const Cell& c) -> std::size_t {
        if (block)
            return static_cast<std::size_t>((c.row - low.row + 1) * static_cast<std::int64_t>(cols) +
                                            (c.col - low.col + 1));
        const auto h = static_cast<std::uint64_t>(c.row) * 0x9E3779B97F4A7C15ULL ^
                       static_cast<std::uint64_t>(c.col) * 0xC2B2AE3D27D4EB4FULL;
        return static_cast<std::size_t>((h ^ (h >> 29)) & (slotCount - 1));
    };
    // The ordinary stands by slot, each slot's in stand order: slot k holds members[start[k] .. start[k +
    // 1]).
    // Counted one place ahead, so that placing the stands moves each slot's start to its end, which is
    // the next slot's start.
    std::vector<std::uint32_t> start(slotCount + 2, 0);
    std::uint32_t ordinary = 0;
    for (std::uint32_t i = 0; i < n; ++i)
        if (flat[i].radius <= largeStandRadiusNm) {
            ++start[slotOf(flat[i].cell) + 2];
            ++ordinary;
        }
    for (std::size_t k = 2; k < slotCount + 2; ++k)
        start[k] += start[k - 1];
    std::vector<std::uint32_t> members(ordinary);
    for (std::uint32_t i = 0; i < n; ++i)
        if (flat[i].radius <= largeStandRadiusNm) members[start[slotOf(flat[i].cell) + 1]++] = i;

    // Each stand's list is its own: the stands are shared out among threads in pieces.
    const auto neighboursOf = [&](std::size_t begin, std::size_t end) {
        std::vector<std::uint32_t> found;
        for (std::size_t i = begin; i < end; ++i) {
            ParkPos& a = stands[i];
            found.clear();
            if (a.radius > largeStandRadiusNm) {
                for (const ParkPos& b : stands)
                    if (lf_isNeighbour(a, b)) found.push_back(b.sid);
                a.adjacent.assign(found.begin(), found.end());
                continue;
            }
            const auto consider = [&](std::uint32_t j) {
                const double reach = (flat[i].radius + flat[j].radius) / 1.1 * 1.01;
                const double dy = flat[j].north - flat[i].north;
                const double dx = flat[j].east - flat[i].east;
                if (reach <= 0.0 || dx * dx + dy * dy >= reach * reach) return;
                if (lf_isNeighbour(a, stands[j])) found.push_back(stands[j].sid);
            };
            const Cell& home = flat[i].cell;
            for (std::int64_t r = home.row - 1; r <= home.row + 1; ++r) {
                if (block) {
                    // The three cells of the row are neighbouring slots.
                    const std::size_t first = slotOf({r, home.col - 1});
                    for (std::uint32_t k = start[first]; k < start[first + 3]; ++k)
                        consider(members[k]);
                    continue;
                }
                for (std::int64_t c = home.col - 1; c <= home.col + 1; ++c) {
                    const Cell cell{r, c};
                    const std::size_t k0 = slotOf(cell);
                    for (std::uint32_t k = start[k0]; k < start[k0 + 1]; ++k)
                        if (flat[members[k]].cell == cell) consider(members[k]);
                }
            }
            for (const std::uint32_t j : large)
                if (lf_isNeighbour(a, stands[j])) found.push_back(stands[j].sid);
            std::sort(found.begin(), found.end());
            a.adjacent.assign(found.begin(), found.end());
        }
    };
    lf_inPieces(n, neighboursPerThread, allReadingThreads, neighboursOf);
}

// ---- Stands of a file ------------------------------------------------------------------------------

namespace {

// A file of fewer stands than this for each thread is read on fewer threads.
constexpr std::size_t standsPerThread = 16;

constexpr std::string_view sectionName = "parkpositions";

// One piece of the stand list as read by one thread: a range of the file's list of stand elements, or a
// piece of the file's text read into a document of its own.
struct StandPiece {
    const pugi::xml_node* nodes = nullptr; // the piece's stand elements
    std::size_t count = 0;
    std::size_t textBegin = 0; // the piece of text, [textBegin, textEnd)
    std::size_t textEnd = 0;
    std::size_t guess = 0;                   // the stand elements the piece of text is likely to hold
    char* scannedEnd = nullptr;              // where the scan of the piece of text ended (in it)
    std::vector<char*> singleQuotes;         // the values' closing quotes of its scan that were '
    std::unique_ptr<pugi::xml_document> doc; // of the piece of text, when the scan gave up
    std::vector<pugi::xml_node> elements;    // the stand elements of the piece of text
    bool whole = true;                       // the piece of text read as whole elements of a section
    std::vector<ParkPos> stands;
    std::vector<std::array<double, 2>> scores; // each stand's (gf_standScores), read while it is at hand
    std::vector<std::size_t> positions;        // each stand's position in the piece
    std::vector<std::string_view> ids; // the trimmed id of each position read, a view into the document
    std::vector<std::uint64_t> hashes; // their hashes
    std::vector<LaterHalfHours> later;
    std::size_t faultAt = SIZE_MAX; // the position of the first stand without a usable id
    bool idMissing = false;         // no id attribute, else an empty one
    std::exception_ptr failure;     // what stopped the reading of the piece
    std::atomic<bool> done{false};
};

// The piece's lists' room for its stand elements.
void lf_reserve(StandPiece& piece) {
    piece.stands.reserve(piece.count);
    piece.scores.reserve(piece.count);
    piece.positions.reserve(piece.count);
    piece.ids.reserve(piece.count);
    piece.hashes.reserve(piece.count);
}

// The piece of text between the start and end tags of a section, parsed as the library parses the whole
// file; its stand elements are those of the section in the file when the section holds the piece whole:
// nothing left open at its end and no end tag that closes the section within it.
void lf_parseText(const char* text, StandPiece& piece) {
    const std::size_t length = piece.textEnd - piece.textBegin;
    const std::size_t size = length + 2 * sectionName.size() + 5;
    char* buffer = static_cast<char*>(pugi::get_memory_allocation_function()(size));
    if (!buffer) throw std::bad_alloc();
    char* out = buffer;
    *out++ = '<';
    out = std::copy(sectionName.begin(), sectionName.end(), out);
    *out++ = '>';
    out = std::copy(text + piece.textBegin, text + piece.textEnd, out);
    *out++ = '<';
    *out++ = '/';
    out = std::copy(sectionName.begin(), sectionName.end(), out);
    *out = '>';
    piece.doc = std::make_unique<pugi::xml_document>();
    // The document owns the buffer from here on, read or not.
    const pugi::xml_parse_result result =
        piece.doc->load_buffer_inplace_own(buffer, size, pugi::parse_default, pugi::encoding_utf8);
    const pugi::xml_node section = piece.doc->first_child();
    // A section closed within the piece and opened again would be a second node of the document.
    if (!result || section != piece.doc->last_child() || section.type() != pugi::node_element) {
        piece.whole = false;
        return;
    }
    for (pugi::xml_node parkpos = section.child("parkpos"); parkpos;
         parkpos = parkpos.next_sibling("parkpos"))
        piece.elements.push_back(parkpos);
    piece.nodes = piece.elements.data();
    piece.count = piece.elements.size();
    lf_reserve(piece);
}

// The trimmed id of the stand element at position `at`, kept with its hash; without a usable id the piece
// ends there (its fault position set).
std::optional<std::string_view> lf_takeStandId(StandPiece& piece, std::size_t at, const StandTexts& texts) {
    if (!texts.id) {
        piece.faultAt = at;
        piece.idMissing = true;
        return std::nullopt;
    }
    std::string_view id = texts.id;
    const auto begin = id.find_first_not_of(" \t\r\n");
    if (begin == std::string_view::npos) {
        piece.faultAt = at;
        return std::nullopt;
    }
    id = id.substr(begin, id.find_last_not_of(" \t\r\n") - begin + 1);
    piece.ids.push_back(id);
    piece.hashes.push_back(lf_hash(id));
    return id;
}

// A stand appended for the element at position `at` (the list longer than `before`) keeps that position and
// its quality scores.
void lf_noteReadStand(StandPiece& piece, std::size_t at, std::size_t before) {
    if (piece.stands.size() == before) return;
    piece.positions.push_back(at);
    piece.scores.push_back(gf_standScores(piece.stands.back()));
}

// The stands of the piece until its first stand without a usable id.
void lf_readStands(StandPiece& piece, StandContext& context) {
    context.later = &piece.later;
    for (std::size_t at = 0; at < piece.count; ++at) {
        const pugi::xml_node& node = piece.nodes[at];
        const StandTexts texts = lf_standSlots<StandTexts>(node);
        const std::optional<std::string_view> id = lf_takeStandId(piece, at, texts);
        if (!id) break;
        const std::size_t before = piece.stands.size();
        lf_appendStand(piece.stands, node, texts, std::string(*id), 1, context);
        lf_noteReadStand(piece, at, before);
    }
}

// The stand of a stand element at position `at` of the piece, its flights' texts in context.flights: as
// lf_readStands reads it.
void lf_readStandTexts(StandPiece& piece, std::size_t at, const StandTexts& texts, StandContext& context) {
    if (piece.faultAt != SIZE_MAX) return;
    const std::optional<std::string_view> id = lf_takeStandId(piece, at, texts);
    if (!id) return;
    const std::size_t before = piece.stands.size();
    const auto flight = [&](std::size_t k) {
        const OptTexts& flightTexts = context.flights[k];
        return std::pair(flightTexts, flightTexts.day ? flightTexts.day[0] - '0' : 0);
    };
    lf_appendStandWith(piece.stands, texts, std::string(*id), [&](std::size_t stand) {
        return lf_readFlights(context.flights.size(), flight, 1, stand, context);
    });
    lf_noteReadStand(piece, at, before);
}

// A scan of a piece of text in the plain form files are written in: stand elements of flight elements,
// blanks between them, attributes in quotes without references or control characters, names of letters,
// digits and '_', a flight's day of one digit. Such a piece holds whole elements of a section, and the
// XML library parses it to the elements and values the scan sees. The scan gives up on anything else.
class PieceScan {
public:
    PieceScan(char* begin, char* end, std::vector<char*>& singleQuotes)
        : p_(begin), end_(end), singleQuotes_(singleQuotes) {}

    // Where the scan stands.
    char* at() const { return p_; }

    // Reads the piece's stands into it; false when the scan gave up (the piece then holds a part).
    bool read(StandPiece& piece, StandContext& context) {
        context.later = &piece.later;
        for (std::size_t at = 0;; ++at) {
            blanks();
            if (p_ == end_) {
                piece.count = at;
                return true;
            }
            if (!element("<parkpos")) return false;
            StandTexts texts;
            const int form = attributes([&](std::string_view name, const char* value) {
                if (const auto member = lf_standMember<StandTexts>(name)) lf_keep(texts.*member, value);
            });
            if (form == gaveUp) return false;
            context.flights.clear();
            if (form == open && !flights(context)) return false;
            lf_readStandTexts(piece, at, texts, context);
        }
    }

private:
    static constexpr int gaveUp = 0, closed = 1, open = 2;

    static bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
    static bool isNameStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
    static bool isName(char c) { return isNameStart(c) || lf_isDigit(c); }
    static void lf_keep(const char*& slot, const char* value) {
        if (!slot) slot = value;
    }

    void blanks() {
        while (p_ != end_ && isBlank(*p_))
            ++p_;
    }

    // The text at the scan's place starts with `start` then what ends an element's name; steps over
    // `start`.
    bool element(std::string_view start) {
        if (static_cast<std::size_t>(end_ - p_) <= start.size() ||
            std::string_view(p_, start.size()) != start)
            return false;
        const char next = p_[start.size()];
        if (!isBlank(next) && next != '/' && next != '>') return false;
        p_ += start.size();
        return true;
    }

    // An end tag "</name>" (blanks before '>').
    bool endTag(std::string_view name) {
        if (static_cast<std::size_t>(end_ - p_) < name.size() + 2 || p_[0] != '<' || p_[1] != '/' ||
            std::string_view(p_ + 2, name.size()) != name)
            return false;
        p_ += name.size() + 2;
        blanks();
        if (p_ == end_ || *p_ != '>') return false;
        ++p_;
        return true;
    }

    // The attributes of a start tag up to its end, take(name, value) for each (the value's closing
    // quote made its end); closed for "/>", open for ">".
    template <typename Take> int attributes(Take&& take) {
        while (true) {
            const char* before = p_;
            blanks();
            if (p_ == end_) return gaveUp;
            if (*p_ == '/') {
                if (end_ - p_ < 2 || p_[1] != '>') return gaveUp;
                p_ += 2;
                return closed;
            }
            if (*p_ == '>') {
                ++p_;
                return open;
            }
            // An attribute follows the name or the value before it after a blank.
            if (p_ == before || !isNameStart(*p_)) return gaveUp;
            const char* name = p_;
            while (p_ != end_ && isName(*p_))
                ++p_;
            const std::string_view nameText(name, static_cast<std::size_t>(p_ - name));
            blanks();
            if (p_ == end_ || *p_ != '=') return gaveUp;
            ++p_;
            blanks();
            if (p_ == end_ || (*p_ != '"' && *p_ != '\'')) return gaveUp;
            const char quote = *p_++;
            char* value = p_;
            while (p_ != end_ && *p_ != quote) {
                const auto c = static_cast<unsigned char>(*p_);
                if (c == '&' || c < 0x20 || c == 0x7f) return gaveUp;
                ++p_;
            }
            if (p_ == end_) return gaveUp;
            if (quote == '\'') singleQuotes_.push_back(p_);
            *p_++ = '\0';
            take(nameText, value);
        }
    }

    // The flight elements of an open stand element and its end tag, their texts in context.flights.
    bool flights(StandContext& context) {
        while (true) {
            blanks();
            if (endTag("parkpos")) return true;
            if (!element("<opt")) return false;
            OptTexts texts;
            const int form = attributes([&](std::string_view name, const char* value) {
                if (const auto member = lf_optMember<OptTexts>(name)) lf_keep(texts.*member, value);
            });
            if (form == gaveUp) return false;
            if (form == open) {
                blanks();
                if (!endTag("opt")) return false;
            }
            if (texts.day && !(lf_isDigit(texts.day[0]) && texts.day[1] == '\0')) return false;
            context.flights.push_back(texts);
        }
    }

    char* p_;
    char* end_;
    std::vector<char*>& singleQuotes_;
};

// The text of a scanned piece as it was: the scan's NULs, which end values in place of their closing
// quotes, made quotes again. Before the scan's end there is no other NUL: the scan gives up on one.
void lf_restoreText(char* text, StandPiece& piece) {
    if (!piece.scannedEnd) return;
    for (char* p = text + piece.textBegin; p != piece.scannedEnd; ++p)
        if (*p == '\0') *p = '"';
    for (char* quote : piece.singleQuotes)
        *quote = '\'';
    piece.scannedEnd = nullptr;
    piece.singleQuotes.clear();
}

// The piece back to nothing read.
void lf_clear(StandPiece& piece) {
    piece.count = 0;
    piece.stands.clear();
    piece.scores.clear();
    piece.positions.clear();
    piece.ids.clear();
    piece.hashes.clear();
    piece.later.clear();
    piece.faultAt = SIZE_MAX;
    piece.idMissing = false;
}

// The piece of text scanned (PieceScan) into the piece, in place; false when the scan gave up (the text
// is then as it was).
bool lf_scanText(char* text, StandPiece& piece, StandContext& context) {
    const std::size_t length = piece.textEnd - piece.textBegin;
    char* begin = text + piece.textBegin;
    const std::size_t guess = piece.guess;
    piece.stands.reserve(guess);
    piece.scores.reserve(guess);
    piece.positions.reserve(guess);
    piece.ids.reserve(guess);
    piece.hashes.reserve(guess);
    PieceScan scan(begin, begin + length, piece.singleQuotes);
    const bool read = scan.read(piece, context);
    piece.scannedEnd = scan.at();
    if (read) return true;
    lf_restoreText(text, piece);
    lf_clear(piece);
    return false;
}

// lf_readStands (after the scan or parse of a piece of text), the piece then marked done (with what went
// wrong, if anything did).
void lf_readPiece(char* text, StandPiece& piece, StandContext& context) {
    try {
        if (text && lf_scanText(text, piece, context)) {
            piece.done.store(true, std::memory_order_release);
            return;
        }
        if (text) lf_parseText(text, piece);
        if (piece.whole) lf_readStands(piece, context);
    } catch (...) {
        piece.failure = std::current_exception();
    }
    piece.done.store(true, std::memory_order_release);
}

// The reading of a file's stands in pieces: of its list of stand elements, or of its text.
class StandFileReading {
public:
    StandFileReading(const std::vector<pugi::xml_node>& nodes, std::size_t threads) : seen_(nodes.size()) {
        const std::size_t count = nodes.size();
        const std::size_t pieceCount = threads == 1 ? 1 : threads * piecesPerThread;
        const std::size_t pieceSize = std::max<std::size_t>(1, (count + pieceCount - 1) / pieceCount);
        // The lists are taken here, so that they come from the reading thread's memory.
        pieces_ = std::vector<StandPiece>((count + pieceSize - 1) / pieceSize);
        for (std::size_t k = 0; k < pieces_.size(); ++k) {
            StandPiece& piece = pieces_[k];
            piece.nodes = nodes.data() + k * pieceSize;
            piece.count = std::min(count, (k + 1) * pieceSize) - k * pieceSize;
            lf_reserve(piece);
        }
        read_.stands.reserve(count);
    }

    StandFileReading(char* text, const std::vector<std::pair<std::size_t, std::size_t>>& pieces,
                     std::size_t expected)
        : text_(text), pieces_(pieces.size()), seen_(expected) {
        const std::size_t total = pieces.empty() ? 0 : pieces.back().second - pieces.front().first;
        for (std::size_t k = 0; k < pieces.size(); ++k) {
            StandPiece& piece = pieces_[k];
            piece.textBegin = pieces[k].first;
            piece.textEnd = pieces[k].second;
            // The stated stands shared out by length, with a margin; about one for each 100 bytes when
            // the file states none. Room taken and not used would still spread the memory of a reading.
            const std::size_t length = piece.textEnd - piece.textBegin;
            piece.guess = expected == 0 ? length / 100 + 1 : expected * length / total * 5 / 4 + 4;
        }
        read_.stands.reserve(expected);
    }

    // A helper's part: pieces while there are any.
    void readPieces() {
        StandContext context{{}, {}, {}, nullptr};
        for (std::size_t k = next_++; k < pieces_.size(); k = next_++)
            lf_readPiece(text_, pieces_[k], context);
    }

    // The reading thread's part: the pieces taken in file order as they are done.
    ParkingFileStands join() {
        StandContext context{{}, {}, {}, nullptr};
        for (std::size_t k = 0; k < pieces_.size() && !read_.refused(); ++k)
            take(settle(k, context));
        next_ = pieces_.size(); // after a fault the pieces left are of no use
        return std::move(read_);
    }

    // The reading thread's part for pieces of text: every piece done; false when one did not read
    // whole (the rest are then of no use).
    bool settleAll() {
        StandContext context{{}, {}, {}, nullptr};
        settled_.reserve(pieces_.size());
        for (std::size_t k = 0; k < pieces_.size(); ++k) {
            settled_.push_back(&settle(k, context));
            if (!settled_.back()->whole) {
                next_ = pieces_.size();
                return false;
            }
        }
        return true;
    }

    // The text as it was before the pieces were scanned. Once no thread reads a piece.
    void restoreText() {
        for (StandPiece& piece : pieces_)
            lf_restoreText(text_, piece);
    }

    // The settled pieces taken in file order.
    ParkingFileStands takeSettled() {
        for (std::size_t k = 0; k < settled_.size() && !read_.refused(); ++k)
            take(*settled_[k]);
        return std::move(read_);
    }

private:
    // Piece k once it is done. While it is not, the reading thread reads a piece no thread has taken yet,
    // and when there is none left, it reads a piece of the stand list itself rather than wait for a
    // helper that may not be running. A piece of text is scanned in place: the helper that took it is
    // running (it joined the work) and is waited for.
    StandPiece& settle(std::size_t k, StandContext& context) {
        StandPiece& piece = pieces_[k];
        while (!piece.done.load(std::memory_order_acquire)) {
            const std::size_t free = next_++;
            if (free < pieces_.size()) {
                lf_readPiece(text_, pieces_[free], context);
                continue;
            }
            if (text_) {
                ReadingHelpers::relax();
                continue;
            }
            // Kept to the end of the reading: the ids taken are views into its document.
            StandPiece& own = *owned_.emplace_back(std::make_unique<StandPiece>());
            own.nodes = piece.nodes;
            own.count = piece.count;
            lf_reserve(own);
            lf_readPiece(text_, own, context);
            return own;
        }
        return piece;
    }

    // The piece's stands up to the first fault of the file: a stand without a usable id, or a repeated id.
    void take(StandPiece& piece) {
        if (piece.failure) std::rethrow_exception(piece.failure);
        const std::size_t first = taken_; // the number of stand elements before the piece
        taken_ += piece.count;
        std::size_t repeated = SIZE_MAX;
        for (std::size_t i = 0; i < piece.ids.size(); ++i)
            if (!seen_.insert(piece.ids[i], piece.hashes[i])) {
                repeated = i;
                break;
            }
        // The unusual half hours of the stands read: the repeated stand was read, a stand without id not.
        const std::size_t idsEnd = piece.ids.size();
        const std::size_t readEnd = repeated != SIZE_MAX ? repeated + 1 : idsEnd;
        for (const LaterHalfHours& later : piece.later) {
            if (piece.positions[later.stand] >= readEnd) break;
            ParkPos& stand = piece.stands[later.stand];
            stand.opts[later.opt].hh = gf_hours2bitset(later.text);
            piece.scores[later.stand] = gf_standScores(stand);
        }
        const std::size_t keptEnd = std::min(idsEnd, repeated);
        for (std::size_t k = 0; k < piece.stands.size() && piece.positions[k] < keptEnd; ++k) {
            read_.realScores += piece.scores[k][0];
            read_.softScores += piece.scores[k][1];
            read_.anyEntry = read_.anyEntry || !piece.stands[k].opts.empty();
            read_.stands.push_back(std::move(piece.stands[k]));
        }
        if (repeated != SIZE_MAX) {
            read_.errorNumber = 94;
            read_.refusal = fmt::format("Parking position '{}' appears more than once.", piece.ids[repeated]);
        } else if (piece.faultAt != SIZE_MAX) {
            read_.errorNumber = 93;
            read_.refusal = fmt::format("Parking position #{} has {} '{}' attribute.",
                                        first + piece.faultAt + 1, piece.idMissing ? "no" : "empty", "id");
        }
    }

    char* text_ = nullptr; // for pieces of text
    std::vector<StandPiece> pieces_;
    std::vector<std::unique_ptr<StandPiece>> owned_; // pieces the reading thread read again itself
    std::vector<StandPiece*> settled_;
    std::atomic<std::size_t> next_{0}; // the next piece no thread has taken
    std::size_t taken_ = 0;
    StandIdSet seen_;
    ParkingFileStands read_;
};

} // namespace

// The stands are read in pieces of the list of stand elements, on several threads for a large file, each
// piece up to its first stand without a usable id. The reading thread takes the pieces in file order as
// they are done: the checks that need the stands before (the first fault in file order, repeated ids)
// and the reading of half-hour texts that may be logged run there, so that the result and the log are
// those of reading one stand after the other: the stands before the first fault stay, a repeated stand is
// read (and logs) before it is taken back.
ParkingFileStands gf_readStandsOf(const pugi::xml_node& section, std::size_t expected, std::size_t threads) {
    std::vector<pugi::xml_node> nodes;
    nodes.reserve(expected);
    for (pugi::xml_node parkpos = section.child("parkpos"); parkpos;
         parkpos = parkpos.next_sibling("parkpos"))
        nodes.push_back(parkpos);
    threads = std::clamp<std::size_t>(nodes.size() / standsPerThread, 1, std::max<std::size_t>(threads, 1));
    if (threads > 1) threads = std::min(threads, ReadingHelpers::instance().threads());
    StandFileReading reading(nodes, threads);
    if (threads == 1) return reading.join();
    const std::thread::id reader = std::this_thread::get_id();
    ParkingFileStands read;
    ReadingHelpers::instance().run(threads - 1, [&] {
        if (std::this_thread::get_id() == reader)
            read = reading.join();
        else
            reading.readPieces();
    });
    return read;
}

// ---- Stands of a file's text -------------------------------------------------------------------------

struct StandTextReading::State {
    State(char* text, const std::vector<std::pair<std::size_t, std::size_t>>& pieces, std::size_t expected)
        : reading(text, pieces, expected) {}
    StandFileReading reading;
    bool whole = false;
};

// Each piece is parsed and read by one thread; the reading thread settles every piece before it takes
// any, as a piece that does not read whole means the file is read in one document after all, and nothing
// may have been logged by then.
StandTextReading::StandTextReading(char* text, const std::vector<std::pair<std::size_t, std::size_t>>& pieces,
                                   std::size_t expected, std::size_t threads)
    : state_(std::make_unique<State>(text, pieces, expected)) {
    threads = std::clamp<std::size_t>(pieces.size(), 1, std::max<std::size_t>(threads, 1));
    if (threads > 1) threads = std::min(threads, ReadingHelpers::instance().threads());
    if (threads == 1) {
        state_->whole = state_->reading.settleAll();
        if (!state_->whole) state_->reading.restoreText();
        return;
    }
    const std::thread::id reader = std::this_thread::get_id();
    ReadingHelpers::instance().run(threads - 1, [&] {
        if (std::this_thread::get_id() == reader)
            state_->whole = state_->reading.settleAll();
        else
            state_->reading.readPieces();
    });
    if (!state_->whole) state_->reading.restoreText();
}

StandTextReading::~StandTextReading() = default;

bool StandTextReading::whole() const {
    return state_->whole;
}

ParkingFileStands StandTextReading::take() {
    return state_->reading.takeSettled();
}
