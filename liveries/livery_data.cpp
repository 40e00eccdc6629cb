#include "liveries/livery_data.h"

#include "core/file_io.h"
#include "core/hooks.h"
#include "core/log.h"
#include "core/parallel.h"
#include "core/program_paths.h"
#include "core/version.h"
#include "core/xml.h"

#include "liveries/scan_threads.h"

#include "platform/os/folders.h"

#include <fmt/format.h>
#include <pugixml.hpp>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

std::list<LiveryData> scannedLiveries;

bool gf_liveryLess(const LiveryData& a, const LiveryData& b) {
    if (a.airl != b.airl) return a.airl < b.airl;
    if (a.type != b.type) return a.type < b.type;
    return a.title < b.title;
}

namespace {

// The characters that the attribute text escapes (or that end it), by byte value.
constexpr std::array<bool, 256> escapedBytes = [] {
    std::array<bool, 256> bytes{};
    for (std::size_t c = 0; c < 32; ++c)
        bytes[c] = true;
    bytes['&'] = bytes['<'] = bytes['"'] = true;
    return bytes;
}();

bool lf_needsEscape(std::string_view text) {
    bool found = false;
    for (const char c : text)
        found |= escapedBytes[static_cast<unsigned char>(c)];
    return found;
}

// Where a livery line's bytes go: counted by the sizing pass, copied into place by the writing pass.
struct ByteCount {
    std::size_t size = 0;
    void put(std::string_view text) { size += text.size(); }
};
// Never past `end`: a line that turns out longer than its key said is cut off (and the part then does
// not end where it should).
struct ByteCopy {
    char* at;
    char* end;
    void put(std::string_view text) {
        const std::size_t size = std::min(text.size(), static_cast<std::size_t>(end - at));
        std::memcpy(at, text.data(), size);
        at += size;
        overrun = overrun || size < text.size();
    }
    bool overrun = false;
};

template <class Out>
void lf_putAttribute(Out& out, std::string_view name, const std::string& value, std::string& escaped) {
    out.put(" ");
    out.put(name);
    out.put("=\"");
    // Most values have nothing to escape: they go in whole.
    if (!lf_needsEscape(value)) {
        out.put(value);
    } else {
        escaped.clear();
        gf_appendAttributeText(escaped, value);
        out.put(escaped);
    }
    out.put("\"");
}

// A livery's line in the XML library's layout.
template <class Out> void lf_putLine(const LiveryData& livery, Out& out, std::string& escaped) {
    out.put("    <liv");
    lf_putAttribute(out, "airl", livery.airl, escaped);
    lf_putAttribute(out, "type", livery.type, escaped);
    if (livery.cargo) out.put(" cargo=\"true\"");
    lf_putAttribute(out, "title", livery.title, escaped);
    if (!livery.atcid.empty()) lf_putAttribute(out, "atcid", livery.atcid, escaped);
    out.put(" />\n");
}

std::uint64_t lf_prefixOf(const std::string& text, std::size_t from) {
    std::uint64_t key = 0;
    for (std::size_t i = from; i < from + 8; ++i)
        key = (key << 8) | (i < text.size() ? static_cast<unsigned char>(text[i]) : 0u);
    return key;
}

// Equal prefixes and lengths below 9: the texts are equal.
bool lf_keyLess(const LiverySortKey& a, const LiverySortKey& b) {
    if (a.airl != b.airl) return a.airl < b.airl;
    if (a.airlSize != b.airlSize || a.airlSize > 8) {
        if (const int order = a.livery->airl.compare(b.livery->airl)) return order < 0;
    }
    if (a.type != b.type) return a.type < b.type;
    if (a.typeSize != b.typeSize || a.typeSize > 8) {
        if (const int order = a.livery->type.compare(b.livery->type)) return order < 0;
    }
    if (a.title[0] != b.title[0]) return a.title[0] < b.title[0];
    if (a.title[1] != b.title[1]) return a.title[1] < b.title[1];
    return a.livery->title < b.livery->title;
}

} // namespace

LiverySortKey gf_sortKeyOf(const LiveryData& livery) {
    LiverySortKey key;
    key.airl = lf_prefixOf(livery.airl, 0);
    key.type = lf_prefixOf(livery.type, 0);
    key.title[0] = lf_prefixOf(livery.title, 0);
    key.title[1] = lf_prefixOf(livery.title, 8);
    key.airlSize = static_cast<std::uint16_t>(std::min<std::size_t>(livery.airl.size(), 9));
    key.typeSize = static_cast<std::uint16_t>(std::min<std::size_t>(livery.type.size(), 9));
    return key;
}

std::uint32_t gf_liveryLineBytes(const LiveryData& livery) {
    ByteCount line;
    std::string escaped;
    lf_putLine(livery, line, escaped);
    return static_cast<std::uint32_t>(line.size);
}

void gf_sortLiveryKeys(std::span<LiverySortKey> keys) {
    // Below a few thousand keys the threads cost more than they save.
    constexpr std::size_t minPart = 4096;
    const std::size_t parts = std::min(gf_hardwareThreads(), keys.size() / minPart);
    if (parts < 2) {
        std::stable_sort(keys.begin(), keys.end(), lf_keyLess);
        return;
    }
    std::vector<std::size_t> bounds(parts + 1);
    for (std::size_t i = 0; i <= parts; ++i)
        bounds[i] = keys.size() * i / parts;
    lf_forEachOnScanThreads(parts, parts, [&](std::size_t part) {
        gf_sortLiveryKeyRun(keys.subspan(bounds[part], bounds[part + 1] - bounds[part]));
    });
    gf_mergeLiveryKeyRuns(keys, std::move(bounds));
}

void gf_sortLiveryKeyRun(std::span<LiverySortKey> run) {
    std::stable_sort(run.begin(), run.end(), lf_keyLess);
}

void gf_mergeLiveryKeyRuns(std::span<LiverySortKey> keys, std::vector<std::size_t> bounds) {
    if (bounds.size() <= 2) return;
    // Neighbouring runs merged pairwise, a round at a time; std::merge takes the first run's key first
    // among equal keys, so the whole stays stable. The buffer is left as it comes (no first pass over
    // it on this thread): each merge fills its own range.
    LiverySortKeys buffer(keys.size());
    LiverySortKey* from = keys.data();
    LiverySortKey* to = buffer.data();
    while (bounds.size() > 2) {
        const std::size_t runs = bounds.size() - 1;
        const std::size_t pairs = (runs + 1) / 2;
        lf_forEachOnScanThreads(pairs, pairs, [&](std::size_t pair) {
            const std::size_t first = bounds[2 * pair];
            const std::size_t middle = bounds[std::min(2 * pair + 1, runs)];
            const std::size_t last = bounds[std::min(2 * pair + 2, runs)];
            std::merge(from + first, from + middle, from + middle, from + last, to + first, lf_keyLess);
        });
        std::vector<std::size_t> merged;
        for (std::size_t i = 0; i < bounds.size(); i += 2)
            merged.push_back(bounds[i]);
        if (merged.back() != keys.size()) merged.push_back(keys.size());
        bounds = std::move(merged);
        std::swap(from, to);
    }
    if (from != keys.data()) {
        constexpr std::size_t perPart = 16384;
        lf_forEachOnScanThreads(
            (keys.size() + perPart - 1) / perPart, gf_hardwareThreads(), [&](std::size_t part) {
                const std::size_t first = part * perPart;
                std::copy(from + first, from + std::min(keys.size(), first + perPart), keys.data() + first);
            });
    }
}

void gf_sortLiveries(std::list<LiveryData>& liveries, std::vector<LiverySortKey>&& keys) {
    // A stable sort of the keys (made in list order), then the nodes relinked in that order: the same
    // order as std::list::sort (also stable), several times faster on the tens of thousands of a scan.
    gf_sortLiveryKeys(keys);
    std::list<LiveryData> sorted;
    for (const LiverySortKey& key : keys)
        sorted.splice(sorted.end(), liveries, key.livery);
    liveries.swap(sorted);
}

std::vector<LiverySortKey> gf_sortKeysOf(std::list<LiveryData>& liveries) {
    std::vector<LiverySortKey> keys;
    keys.reserve(keys.size());
    for (auto it = liveries.begin(); it != liveries.end(); ++it) {
        keys.push_back(gf_sortKeyOf(*it));
        keys.back().livery = it;
    }
    return keys;
}

void gf_sortLiveries(std::list<LiveryData>& liveries) {
    gf_sortLiveries(liveries, gf_sortKeysOf(liveries));
}

std::filesystem::path gf_liveriesScannedPath() {
    return os::inWorkingFolder(outputFolder / "LiveriesScanned.xml");
}

namespace {

std::int32_t lf_simulatorKind() {
    const auto& is2020 = gf_coreHooks().simulatorIs2020;
    return (!is2020 || is2020()) ? 1 : 2;
}

} // namespace

namespace {

class TextWriter : public pugi::xml_writer {
public:
    void write(const void* data, std::size_t size) override {
        text.append(static_cast<const char*>(data), size);
    }
    std::string text;
};

bool lf_writeLiveries(const std::filesystem::path& path, std::span<const LiverySortKey> keys) {
    if (keys.empty()) return true;

    // The header through the XML library; the livery lines (tens of thousands) are written directly,
    // in the library's layout, which is several times faster than building them as nodes.
    pugi::xml_document doc;
    MetaData meta;
    meta.version = gf_programVersion.toString();
    meta.setSim(lf_simulatorKind());
    gf_writeMetaData(doc, meta);
    pugi::xml_node root = doc.child("root");
    if (!root) {
        gf_logError(fmt::format("{}: no root element, nothing saved", path.string()));
        return false;
    }
    root.append_child("liveries");
    pugi::xml_node declaration = doc.prepend_child(pugi::node_declaration);
    declaration.append_attribute("version").set_value("1.0");
    declaration.append_attribute("encoding").set_value("UTF-8");
    TextWriter writer;
    doc.save(writer, "  ", pugi::format_default, pugi::encoding_utf8);

    constexpr std::string_view emptyList = "  <liveries />\n";
    const std::size_t at = writer.text.find(emptyList);
    if (at == std::string::npos) {
        gf_logError(fmt::format("Could not save {} liveries in {}", keys.size(), path.string()));
        return false;
    }
    // The lines are formatted in parts on a few threads straight into the file's text, each part at its
    // place as the keys' line sizes give it.
    constexpr std::string_view openList = "  <liveries>\n";
    constexpr std::string_view closeList = "  </liveries>\n";
    constexpr std::size_t perPart = 4096;
    const std::size_t partCount = (keys.size() + perPart - 1) / perPart;
    const auto partOf = [&](std::size_t part) {
        return std::pair{part * perPart, std::min(keys.size(), (part + 1) * perPart)};
    };
    std::vector<std::size_t> offsets(partCount + 1);
    lf_forEachOnScanThreads(partCount, gf_hardwareThreads(), [&](std::size_t part) {
        const auto [begin, end] = partOf(part);
        std::size_t bytes = 0;
        for (std::size_t i = begin; i < end; ++i)
            bytes += keys[i].lineBytes != 0 ? keys[i].lineBytes : gf_liveryLineBytes(*keys[i].livery);
        offsets[part + 1] = bytes;
    });
    offsets[0] = at + openList.size();
    for (std::size_t part = 0; part < partCount; ++part)
        offsets[part + 1] += offsets[part];
    const std::string_view tail = std::string_view(writer.text).substr(at + emptyList.size());
    const std::size_t size = offsets[partCount] + closeList.size() + tail.size();
    const auto text = std::make_unique_for_overwrite<char[]>(size);
    std::memcpy(text.get(), writer.text.data(), at);
    std::memcpy(text.get() + at, openList.data(), openList.size());
    std::atomic<bool> misfit{false};
    lf_forEachOnScanThreads(partCount, gf_hardwareThreads(), [&](std::size_t part) {
        ByteCopy copy{text.get() + offsets[part], text.get() + offsets[part + 1]};
        std::string escaped;
        const auto [begin, end] = partOf(part);
        for (std::size_t i = begin; i < end; ++i)
            lf_putLine(*keys[i].livery, copy, escaped);
        if (copy.overrun || copy.at != copy.end) misfit = true;
    });
    if (misfit) {
        // A record changed after its key was made: laid out again from the records themselves.
        std::vector<LiverySortKey> fresh(keys.begin(), keys.end());
        for (LiverySortKey& key : fresh)
            key.lineBytes = gf_liveryLineBytes(*key.livery);
        return lf_writeLiveries(path, fresh);
    }
    ByteCopy rest{text.get() + offsets[partCount], text.get() + size};
    rest.put(closeList);
    rest.put(tail);

    if (!gf_writeFileAtomically(path, std::string_view(text.get(), size))) {
        gf_logError(fmt::format("Could not save {} liveries in {}", keys.size(), path.string()));
        return false;
    }
    gf_log(fmt::format("{} liveries in {}", keys.size(), path.string()));
    return true;
}

} // namespace

bool lf_writeScannedLiveries(const std::filesystem::path& path) {
    return lf_writeLiveries(path, gf_sortKeysOf(scannedLiveries));
}

bool lf_writeLiveriesInOrder(const std::filesystem::path& path, std::span<const LiverySortKey> keys) {
    return lf_writeLiveries(path, keys);
}

LiverySortKeys::LiverySortKeys(std::size_t size)
    : keys_(static_cast<LiverySortKey*>(::operator new(size * sizeof(LiverySortKey)))), size_(size) {
    static_assert(std::is_trivially_copyable_v<LiverySortKey> &&
                  std::is_trivially_destructible_v<LiverySortKey>);
}

void LiverySortKeys::Free::operator()(LiverySortKey* keys) const {
    ::operator delete(keys);
}

void lf_readScannedLiveries(const std::filesystem::path& path) {
    scannedLiveries.clear();

    pugi::xml_document doc;
    if (!doc.load_file(path.c_str()))
        throw orv::UserErrorException(51, fmt::format("File {} not found", path.string()));
    (void)gf_readMetaData(doc); // the header is not needed here

    const pugi::xml_node root = doc.child("root");
    if (root) {
        const pugi::xml_node liveries = root.child("liveries");
        if (!liveries)
            throw orv::UserErrorException(
                52, fmt::format("{} does not contain a <liveries> section", path.string()));
        for (const pugi::xml_node liv : liveries.children()) {
            if (liv.type() != pugi::node_element) continue;
            LiveryData livery;
            for (const auto& [name, field] :
                 {std::pair{"airl", &livery.airl}, std::pair{"type", &livery.type},
                  std::pair{"title", &livery.title}}) {
                const pugi::xml_attribute attribute = liv.attribute(name);
                if (!attribute)
                    throw orv::UserErrorException(
                        999, fmt::format("Missing required attribute '{}' in <{}>", name, liv.name()));
                *field = attribute.as_string();
            }
            livery.atcid = liv.attribute("atcid").as_string();
            livery.cargo = liv.attribute("cargo").as_bool();
            scannedLiveries.push_back(std::move(livery));
        }
    }
    if (scannedLiveries.empty())
        throw orv::UserErrorException(533, fmt::format("{} does not contain liveries", path.string()));
    if (scannedLiveries.size() > 1) gf_sortLiveries(scannedLiveries);
    gf_log(fmt::format("{} liveries read from {}", scannedLiveries.size(), path.string()));
}
