#include "scan/bgl_decoder.h"

#include "core/units.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>
#include <utility>

namespace {

constexpr std::uint32_t headerBytes = 56;
constexpr std::uint32_t sectionEntryBytes = 20;
constexpr std::uint32_t airportSectionType = 3;
constexpr std::uint32_t longSubsectionFlag = 0x10000;
constexpr std::uint16_t airportRecordId = 0x0056;
constexpr std::uint16_t unknownRecordId = 0x0113;
constexpr std::uint16_t helipadRecordId = 0x0026;
constexpr std::uint16_t parkingListRecordId = 0x00E7;
constexpr std::uint64_t maxRecords = 9000;
constexpr std::uint64_t airportSubrecordStart = 68;
constexpr std::uint64_t parkingEntryBaseBytes = 56;
constexpr std::uint32_t acceptedTypes = 0xCFFE;
constexpr std::uint32_t rampTypes = 0x40FE;
constexpr std::uint32_t cargoType = 5;
// The em dash that the two loop-limit messages carry.
constexpr std::string_view dash = "\xE2\x80\x94";

// The file as a sequence of little-endian 32-bit words, a last partial word completed with zero bytes.
// Every read is checked; nothing outside the bytes is ever touched.
class WordView {
public:
    explicit WordView(std::span<const std::uint8_t> bytes) : bytes_(bytes), words_((bytes.size() + 3) / 4) {}

    std::uint64_t words() const { return words_; }
    std::uint64_t paddedBytes() const { return words_ * 4; }

    // The n bytes (1..4) at a byte offset, little endian; false when they lie beyond the padded view.
    bool read(std::uint64_t offset, unsigned n, std::uint32_t& out) const {
        if (offset > paddedBytes() || paddedBytes() - offset < n) return false;
        if constexpr (std::endian::native == std::endian::little) {
            if (offset + n <= bytes_.size()) { // inside the bytes themselves: no padding to add
                out = 0;
                std::memcpy(&out, bytes_.data() + offset, n);
                return true;
            }
        }
        out = 0;
        for (unsigned i = 0; i < n; ++i) {
            const std::uint64_t at = offset + i;
            const std::uint32_t byte = at < bytes_.size() ? bytes_[static_cast<std::size_t>(at)] : 0;
            out |= byte << (8 * i);
        }
        return true;
    }
    bool u32(std::uint64_t offset, std::uint32_t& out) const { return read(offset, 4, out); }
    bool u16(std::uint64_t offset, std::uint16_t& out) const {
        std::uint32_t v = 0;
        if (!read(offset, 2, v)) return false;
        out = static_cast<std::uint16_t>(v);
        return true;
    }
    bool f32(std::uint64_t offset, float& out) const {
        std::uint32_t v = 0;
        if (!read(offset, 4, v)) return false;
        std::memcpy(&out, &v, sizeof out);
        return true;
    }
    bool word(std::uint64_t index, std::uint32_t& out) const { return index < words_ && u32(index * 4, out); }

private:
    std::span<const std::uint8_t> bytes_;
    std::uint64_t words_;
};

double lf_longitude(std::uint32_t raw) {
    return raw * (360.0 / (3.0 * 268435456.0)) - 180.0;
}
double lf_latitude(std::uint32_t raw) {
    return 90.0 - raw * (180.0 / 536870912.0);
}
bool lf_validPosition(double lat, double lon) {
    if (!(lat >= -90.0 && lat <= 90.0 && lon >= -180.0 && lon <= 180.0)) return false;
    return !(std::fabs(lat) < 0.0001 && std::fabs(lon) < 0.0001);
}

class Decoder {
public:
    Decoder(std::span<const std::uint8_t> bytes, const BglDecodeOptions& options)
        : view(bytes), options(options) {}

    BglDecodeResult run() {
        std::uint32_t headerSize = 0, count = 0;
        if (view.words() <= 14 || !view.word(1, headerSize) || headerSize != headerBytes ||
            !view.word(5, count) || count == 0)
            return std::move(result);
        if (14 + 5 * static_cast<std::uint64_t>(count) > view.words()) return std::move(result);
        for (std::uint64_t i = 0; i < count; ++i) {
            if (!section(14 + 5 * i)) break;
        }
        return std::move(result);
    }

private:
    void note(BglNote::To to, std::string text) {
        result.events.push_back(BglEvent{BglEvent::Kind::note, BglNote{to, std::move(text)}, 0});
    }

    // One section; false when the whole file ends here.
    bool section(std::uint64_t entry) {
        std::uint32_t type = 0, flags = 0, offset = 0, dataOffset = 0;
        if (!view.word(entry, type) || !view.word(entry + 1, flags) || !view.word(entry + 3, offset))
            return true;
        if (type != airportSectionType || (flags & longSubsectionFlag) != 0) return true;
        const std::uint64_t subsection = offset / 4 + 2;
        if (!view.word(subsection, dataOffset)) return true;
        std::uint64_t index = dataOffset / 4;
        for (std::uint64_t walked = 0;; ++walked) {
            if (index >= view.words()) return true;
            if (walked == maxRecords) {
                note(BglNote::To::logError, fmt::format("Error: Maximum loop iterations reached (2) {} "
                                                        "possible corrupt BGL or malformed input.",
                                                        dash));
                return true;
            }
            std::uint16_t id = 0;
            std::uint32_t size = 0;
            view.u16(index * 4, id);
            if (!view.u32(index * 4 + 2, size)) size = 0;
            if (id == unknownRecordId && options.simulatorIs2024) {
                result.notRecognised = true;
                result.events.push_back(BglEvent{BglEvent::Kind::notRecognised, {}, 0});
                return false;
            }
            if (id == airportRecordId) {
                if (size < 4) {
                    note(BglNote::To::logError,
                         fmt::format("   Warning: decodeSizeAtBoundary returned {} at o2 = {}", 0, index));
                    return true;
                }
                std::uint32_t identWord = 0;
                if (view.word(index + 10, identWord)) {
                    auto [ident, processable] = gf_decodeAirportIdent(identWord);
                    if (processable && supported(ident)) airport(index, size, ident);
                }
            }
            const std::uint64_t next = index + size / 4;
            if (size < 4 || next <= index) return true;
            index = next;
        }
    }

    bool supported(std::string& ident) {
        std::transform(ident.begin(), ident.end(), ident.begin(),
                       [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; });
        if (ident.size() != 4) return false;
        if (options.knownAirport && options.knownAirport(ident)) return true;
        note(BglNote::To::scanLog, fmt::format("{} is not an airport supported by RealTraffic ", ident));
        return false;
    }

    void airport(std::uint64_t index, std::uint32_t size, const std::string& code) {
        BglAirport apt;
        apt.code = code;
        auto addNote = [&apt](BglNote::To to, std::string text) {
            apt.notes.push_back({to, std::move(text)});
        };
        const std::uint64_t start = index * 4;
        const std::uint64_t end = std::min<std::uint64_t>(start + size, view.paddedBytes());

        std::uint32_t raw = 0;
        if (view.u32(start + 20, raw)) {
            const double feet = std::round(static_cast<std::int32_t>(raw) * 3.2808399 / 1000.0);
            apt.altitudeFt = (feet < -20.0 || feet > 10000.0) ? 0 : static_cast<std::int32_t>(feet);
        }

        // The working sets stay with the thread for its next airport.
        thread_local Airport state;
        state.ids.clear();
        state.helipads.clear();
        std::uint64_t sub = index + airportSubrecordStart / 4;
        const std::uint64_t lastWord = index + size / 4;
        for (std::uint64_t walked = 0; sub < lastWord; ++walked) {
            if (walked == maxRecords) {
                addNote(BglNote::To::logError, fmt::format("Error: Maximum loop iterations reached (1) {} "
                                                           "possible corrupt SIA or malformed input",
                                                           dash));
                break;
            }
            if (sub >= view.words()) {
                addNote(BglNote::To::log,
                        fmt::format("   Error: o3={} exceeded data buffer size ({}), aborting.", sub,
                                    view.words()));
                break;
            }
            std::uint16_t id = 0;
            std::uint32_t subSize = 0;
            view.u16(sub * 4, id);
            if (!view.u32(sub * 4 + 2, subSize)) subSize = 0;
            // A record is read no further than its own end, its airport's end and the file's end.
            const std::uint64_t subEnd = std::min<std::uint64_t>(sub * 4 + subSize, end);
            if (id == helipadRecordId) {
                helipad(apt, state, sub * 4, subEnd);
                if (subSize < 4) {
                    addNote(BglNote::To::logError,
                            fmt::format("   Warning: decodeSizeAtBoundary returned 0 at o3 = {}", sub));
                    break;
                }
            } else if (id == parkingListRecordId) {
                parkingList(apt, state, sub * 4, subEnd);
                break;
            } else if (subSize < 4) {
                addNote(BglNote::To::log,
                        fmt::format("   Warning: decodeSizeAtBoundary returned 0 at o3 = {}", sub));
                break;
            }
            sub += subSize / 4;
        }
        result.airports.push_back(std::move(apt));
        result.events.push_back(BglEvent{BglEvent::Kind::airport, {}, result.airports.size() - 1});
    }

    // The stand ids handed out in one airport, kept as indices into its stands: a set without an
    // allocation per stand.
    class TakenIds {
    public:
        bool contains(const std::vector<BglStand>& stands, std::string_view id) const {
            if (slots.empty()) return false;
            const std::size_t mask = slots.size() - 1;
            for (std::size_t at = std::hash<std::string_view>{}(id)&mask;; at = (at + 1) & mask) {
                if (slots[at] == empty) return false;
                if (stands[slots[at]].id == id) return true;
            }
        }
        // The last of `stands` joins the set.
        void addLast(const std::vector<BglStand>& stands) {
            if ((used + 1) * 2 > slots.size()) grow(stands, std::max<std::size_t>(64, slots.size() * 2));
            place(stands, static_cast<std::uint32_t>(stands.size() - 1));
            ++used;
        }
        // Empty again; the room stays for the next airport (unless an unusually large one left it).
        void clear() {
            used = 0;
            if (slots.size() > 16384)
                slots = {};
            else
                std::fill(slots.begin(), slots.end(), empty);
        }
        void reserve(const std::vector<BglStand>& stands, std::size_t count) {
            std::size_t size = std::max<std::size_t>(64, slots.size());
            while (size < count * 2)
                size *= 2;
            if (size > slots.size()) grow(stands, size);
        }

    private:
        static constexpr std::uint32_t empty = 0xFFFFFFFF;
        void place(const std::vector<BglStand>& stands, std::uint32_t index) {
            const std::size_t mask = slots.size() - 1;
            std::size_t at = std::hash<std::string_view>{}(stands[index].id) & mask;
            while (slots[at] != empty)
                at = (at + 1) & mask;
            slots[at] = index;
        }
        void grow(const std::vector<BglStand>& stands, std::size_t size) {
            const std::vector<std::uint32_t> old =
                std::exchange(slots, std::vector<std::uint32_t>(size, empty));
            for (const std::uint32_t index : old)
                if (index != empty) place(stands, index);
        }
        std::vector<std::uint32_t> slots; // a power of two, at most half used
        std::size_t used = 0;
    };

    struct Airport {
        TakenIds ids;
        std::vector<std::pair<double, double>> helipads;
    };

    void helipad(BglAirport& apt, Airport& state, std::uint64_t start, std::uint64_t end) {
        std::uint32_t rawLon = 0, rawLat = 0;
        float size = 0.0F;
        if (end < start + 32 || !view.u32(start + 12, rawLon) || !view.u32(start + 16, rawLat) ||
            !view.f32(start + 28, size)) {
            apt.notes.push_back({BglNote::To::scanLog,
                                 fmt::format("helipad record at byte {} is cut short (skipped)", start)});
            return;
        }
        const double lat = lf_latitude(rawLat), lon = lf_longitude(rawLon);
        if (!lf_validPosition(lat, lon)) {
            apt.notes.push_back(
                {BglNote::To::scanLog,
                 fmt::format("lat/lon helipad incorrect (skipped): {:.6f},{:.6f}", lat, lon)});
            return;
        }
        if (!std::isfinite(size)) {
            apt.notes.push_back(
                {BglNote::To::scanLog,
                 fmt::format("size {} of helipad incorrect (skipped): {:.6f},{:.6f}", size, lat, lon)});
            return;
        }
        for (const auto& [hlat, hlon] : state.helipads) {
            if (std::fabs(hlat - lat) < 1e-8 && std::fabs(hlon - lon) < 1e-8) {
                apt.notes.push_back({BglNote::To::scanLog,
                                     fmt::format("double helipad {} (skipped) {:.6f},{:.6f}", "", lat, lon)});
                return;
            }
        }
        state.helipads.emplace_back(lat, lon);
        ++apt.helipads;
        BglStand stand;
        stand.id = fmt::format("helipad{}", apt.helipads);
        stand.lat = lat;
        stand.lon = lon;
        stand.heading = 0.0;
        stand.radiusMetres = size / 2.0;
        stand.heli = true;
        apt.stands.push_back(std::move(stand));
        state.ids.addLast(apt.stands);
    }

    void parkingList(BglAirport& apt, Airport& state, std::uint64_t start, std::uint64_t end) {
        std::uint16_t count = 0;
        if (end < start + 8 || !view.u16(start + 6, count)) return;
        std::uint64_t entry = start + 8;
        // Room for the entries that the record can hold at most.
        const std::uint64_t room = std::min<std::uint64_t>(count, (end - entry) / parkingEntryBaseBytes);
        apt.stands.reserve(apt.stands.size() + room);
        state.ids.reserve(apt.stands, apt.stands.size() + room);
        for (std::uint32_t i = 0; i < count; ++i) {
            std::uint32_t bits = 0;
            if (end < entry + 4 || !view.u32(entry, bits) ||
                end < entry + parkingEntryBaseBytes + 4ull * (bits >> 24)) {
                apt.notes.push_back(
                    {BglNote::To::scanLog,
                     fmt::format("{}Parking list of {} claims {} entries but its record ends after {}, in {}",
                                 "===> ", apt.code, count, i, options.pathUtf8)});
                return;
            }
            parkingEntry(apt, state, entry, bits);
            entry += parkingEntryBaseBytes + 4ull * (bits >> 24);
        }
    }

    void parkingEntry(BglAirport& apt, Airport& state, std::uint64_t entry, std::uint32_t bits) {
        float radius = 0.0F, heading = 0.0F;
        std::uint32_t rawLon = 0, rawLat = 0;
        view.f32(entry + 4, radius);
        view.f32(entry + 8, heading);
        view.u32(entry + 28, rawLon);
        view.u32(entry + 32, rawLat);
        if (!(radius > 1.0F && radius < 200.0F)) {
            apt.notes.push_back(
                {BglNote::To::scanLog,
                 fmt::format("Skipped position with radius {:.1F} m in {}", radius, options.pathUtf8)});
            return;
        }
        std::string id = gf_bglStandId(bits & 0x3F, (bits >> 12) & 0xFFF);
        const std::uint32_t type = (bits >> 8) & 0xF;
        if (((acceptedTypes >> type) & 1U) == 0) return;
        const double lat = lf_latitude(rawLat), lon = lf_longitude(rawLon);
        if (!lf_validPosition(lat, lon)) {
            apt.notes.push_back(
                {BglNote::To::scanLog, fmt::format("LatLon {:.6f},{:.6f} invalid (skipped)", lat, lon)});
            return;
        }
        if (!std::isfinite(heading)) {
            apt.notes.push_back({BglNote::To::scanLog, fmt::format("Skipped position with heading {} in {}",
                                                                   heading, options.pathUtf8)});
            return;
        }
        if (state.ids.contains(apt.stands, id)) {
            static constexpr std::string_view letters = "abcdefghij";
            std::string unique;
            for (const char letter : letters) {
                std::string candidate = id + letter;
                if (!state.ids.contains(apt.stands, candidate)) {
                    unique = std::move(candidate);
                    break;
                }
            }
            if (unique.empty()) {
                apt.notes.push_back(
                    {BglNote::To::scanLog, fmt::format("{}Warning: more than 10 duplicate IDs {} in {}",
                                                       "===> ", id, options.pathUtf8)});
                return;
            }
            id = std::move(unique);
        }
        BglStand stand;
        stand.id = std::move(id);
        stand.lat = lat;
        stand.lon = lon;
        stand.heading = heading == 0.0F ? twoPi : heading * pi / 180.0;
        stand.radiusMetres = radius;
        stand.cargo = type == cargoType;
        stand.ramp = ((rampTypes >> type) & 1U) != 0;
        apt.stands.push_back(std::move(stand));
        state.ids.addLast(apt.stands);
    }

    WordView view;
    const BglDecodeOptions& options;
    BglDecodeResult result;
};

} // namespace

BglDecodeResult gf_decodeBgl(std::span<const std::uint8_t> bytes, const BglDecodeOptions& options) {
#ifdef SKYLOOM_FUZZ_PLANTED_FAULT
    // Test-only build switch: one byte read past the input, which the fuzzing must report.
    if (bytes.size() >= 4 && bytes[0] == 0x01) {
        [[maybe_unused]] volatile std::uint8_t past = bytes.data()[bytes.size()];
    }
#endif
    return Decoder(bytes, options).run();
}

std::uint64_t gf_bglSectionTableEnd(std::span<const std::uint8_t> head, std::uint64_t fileSize) {
    constexpr std::uint64_t countEnd = 24;
    if (head.size() < countEnd || fileSize < headerBytes + 1) return countEnd;
    std::uint32_t count = 0;
    std::memcpy(&count, head.data() + 20, 4);
    if (count < 1 || count > (fileSize - headerBytes) / sectionEntryBytes) return countEnd;
    return std::min<std::uint64_t>(fileSize, headerBytes + sectionEntryBytes * std::uint64_t{count});
}

bool gf_bglHasAirportSection(std::span<const std::uint8_t> head, std::uint64_t fileSize) {
    if (fileSize < headerBytes + 1 || head.size() < 24) return false;
    std::uint32_t count = 0;
    std::memcpy(&count, head.data() + 20, 4);
    if (count < 1 || count > (fileSize - headerBytes) / sectionEntryBytes) return false;
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint64_t at = headerBytes + sectionEntryBytes * i;
        if (at + 4 > fileSize || at + 4 > head.size()) return false;
        std::uint32_t value = 0;
        std::memcpy(&value, head.data() + at, 4);
        if (value == airportSectionType) return true;
    }
    return false;
}

bool gf_bglHasAirportSection(std::istream& in, std::uint64_t fileSize) {
    std::vector<std::uint8_t> head(24);
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size())))
        return false;
    const std::uint64_t end = gf_bglSectionTableEnd(head, fileSize);
    if (end > head.size()) {
        head.resize(static_cast<std::size_t>(end));
        in.read(reinterpret_cast<char*>(head.data() + 24), static_cast<std::streamsize>(end - 24));
        head.resize(24 + static_cast<std::size_t>(std::max<std::streamsize>(0, in.gcount())));
    }
    return gf_bglHasAirportSection(head, fileSize);
}

std::pair<std::string, bool> gf_decodeAirportIdent(std::uint32_t packed) {
    std::uint32_t v = packed >> 5;
    std::string text;
    bool processable = true;
    do {
        const std::uint32_t d = v % 38;
        v /= 38;
        if (d == 0) {
            text += ' ';
            processable = false;
        } else if (d == 1) {
            text += '?';
            processable = false;
        } else if (d <= 11) {
            text += static_cast<char>(d + 46);
        } else {
            text += static_cast<char>(d + 53);
        }
    } while (v != 0);
    if (text.size() > 10) processable = false;
    std::reverse(text.begin(), text.end());
    return {text, processable};
}

std::string gf_bglStandId(std::uint32_t nameCode, std::uint32_t number) {
    static constexpr std::array<std::string_view, 12> prefixes{"",   "r",   "p",  "np",  "ep", "sep",
                                                               "sp", "swp", "wp", "nwp", "g",  ""};
    // Built in one string, without a string of its own for the number.
    std::string id;
    if (nameCode < prefixes.size())
        id = prefixes[nameCode];
    else if (nameCode >= 12 && nameCode <= 37)
        id = std::string(1, static_cast<char>('A' + (nameCode - 12)));
    std::array<char, 10> digits;
    const auto end = std::to_chars(digits.data(), digits.data() + digits.size(), number).ptr;
    id.append(digits.data(), static_cast<std::size_t>(end - digits.data()));
    return id;
}
