#pragma once
// Builds compiled scenery files (.bgl) for tests from the layouts the scan reads: the header, the
// section table, one subsection entry per section, records with id and size, airport records with
// elevation and base-38 ident, helipads and parking lists. Every number is written little endian.

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace bglw {

using Bytes = std::vector<std::uint8_t>;

inline void put16(Bytes& b, std::size_t at, std::uint16_t v) {
    if (b.size() < at + 2) b.resize(at + 2);
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
inline void put32(Bytes& b, std::size_t at, std::uint32_t v) {
    if (b.size() < at + 4) b.resize(at + 4);
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void putFloat(Bytes& b, std::size_t at, float f) {
    std::uint32_t v = 0;
    std::memcpy(&v, &f, 4);
    put32(b, at, v);
}

inline std::uint32_t rawLon(double lon) {
    return static_cast<std::uint32_t>(std::llround((lon + 180.0) / 4.470348358154297e-7));
}
inline std::uint32_t rawLat(double lat) {
    return static_cast<std::uint32_t>(std::llround((90.0 - lat) / 3.3527612686157227e-7));
}

// The packed ident word: base-38 digits (' ' 0, '?' 1, '0'..'9' 2..11, 'A'..'Z' 12..37) shifted left 5.
inline std::uint32_t packIdent(const std::string& ident) {
    std::uint32_t v = 0;
    for (const char c : ident) {
        std::uint32_t d = 0;
        if (c == '?')
            d = 1;
        else if (c >= '0' && c <= '9')
            d = static_cast<std::uint32_t>(c - '0') + 2;
        else if (c >= 'A' && c <= 'Z')
            d = static_cast<std::uint32_t>(c - 'A') + 12;
        v = v * 38 + d;
    }
    return v << 5;
}

// A record: id, size (6-byte head plus payload, padded to whole words unless `exactSize` is given).
inline Bytes record(std::uint16_t id, const Bytes& body, std::int64_t sizeOverride = -1) {
    Bytes r(6, 0);
    r.insert(r.end(), body.begin(), body.end());
    while (r.size() % 4 != 0)
        r.push_back(0);
    put16(r, 0, id);
    put32(r, 2,
          sizeOverride >= 0 ? static_cast<std::uint32_t>(sizeOverride)
                            : static_cast<std::uint32_t>(r.size()));
    return r;
}

struct Parking {
    std::uint32_t nameCode = 10; // "g"
    std::uint32_t number = 1;
    std::uint32_t type = 8; // gate, not a ramp
    float radius = 20.0F;
    float heading = 90.0F;
    double lat = 47.0;
    double lon = 8.0;
    std::uint32_t airlineCodes = 0;
};

inline Bytes parkingEntry(const Parking& p) {
    Bytes e(56 + 4 * p.airlineCodes, 0);
    put32(e, 0,
          (p.nameCode & 0x3F) | ((p.type & 0xF) << 8) | ((p.number & 0xFFF) << 12) | (p.airlineCodes << 24));
    putFloat(e, 4, p.radius);
    putFloat(e, 8, p.heading);
    put32(e, 28, rawLon(p.lon));
    put32(e, 32, rawLat(p.lat));
    for (std::uint32_t i = 0; i < p.airlineCodes; ++i)
        put32(e, 56 + 4 * i, 0x41424300 + i);
    return e;
}

// A parking list 0x00E7; `claimed` overrides the number of entries written in its head.
inline Bytes parkingList(const std::vector<Parking>& entries, std::int32_t claimed = -1,
                         std::int64_t sizeOverride = -1) {
    Bytes body(2, 0); // bytes 6..7 of the record
    put16(body, 0,
          static_cast<std::uint16_t>(claimed >= 0 ? claimed : static_cast<std::int32_t>(entries.size())));
    for (const Parking& p : entries) {
        const Bytes e = parkingEntry(p);
        body.insert(body.end(), e.begin(), e.end());
    }
    return record(0x00E7, body, sizeOverride);
}

inline Bytes helipad(double lat, double lon, float size) {
    Bytes body(30, 0); // record bytes 6..35
    put32(body, 12 - 6, rawLon(lon));
    put32(body, 16 - 6, rawLat(lat));
    putFloat(body, 28 - 6, size);
    return record(0x0026, body);
}

// An airport record 0x0056 with its sub-records from byte 68.
inline Bytes airport(const std::string& ident, std::int32_t elevationMm, const std::vector<Bytes>& subs,
                     std::int64_t sizeOverride = -1, std::uint32_t identWord = 0) {
    Bytes body(62, 0); // record bytes 6..67
    put32(body, 20 - 6, static_cast<std::uint32_t>(elevationMm));
    put32(body, 40 - 6, identWord ? identWord : packIdent(ident));
    for (const Bytes& s : subs)
        body.insert(body.end(), s.begin(), s.end());
    return record(0x0056, body, sizeOverride);
}

struct Section {
    std::uint32_t type = 3;
    std::uint32_t flags = 0;
    std::vector<Bytes> records;
};

// A whole file: header, section table, then per section its subsection entry followed by its records.
inline Bytes file(const std::vector<Section>& sections, std::int64_t countOverride = -1) {
    Bytes b(56, 0);
    put32(b, 0, 0x19920201);
    put32(b, 4, 56);
    put32(b, 20,
          countOverride >= 0 ? static_cast<std::uint32_t>(countOverride)
                             : static_cast<std::uint32_t>(sections.size()));
    const std::size_t table = b.size();
    b.resize(table + 20 * sections.size(), 0);
    for (std::size_t i = 0; i < sections.size(); ++i) {
        const Section& s = sections[i];
        const std::size_t entry = table + 20 * i;
        const std::size_t subsection = b.size();
        put32(b, entry, s.type);
        put32(b, entry + 4, s.flags);
        put32(b, entry + 8, 1);
        put32(b, entry + 12, static_cast<std::uint32_t>(subsection));
        b.resize(subsection + 16, 0);
        const std::size_t data = b.size();
        std::size_t size = 0;
        for (const Bytes& r : s.records)
            size += r.size();
        put32(b, subsection + 4, static_cast<std::uint32_t>(s.records.size()));
        put32(b, subsection + 8, static_cast<std::uint32_t>(data));
        put32(b, subsection + 12, static_cast<std::uint32_t>(size));
        for (const Bytes& r : s.records)
            b.insert(b.end(), r.begin(), r.end());
    }
    return b;
}

inline void save(const std::filesystem::path& path, const Bytes& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

} // namespace bglw
