#include "liveries/livery_data.h"

#include "core/file_io.h"
#include "core/hooks.h"
#include "core/log.h"
#include "core/program_paths.h"
#include "core/version.h"
#include "core/xml.h"

#include "platform/os/folders.h"

#include <fmt/format.h>
#include <pugixml.hpp>

#include <algorithm>
#include <vector>

std::list<LiveryData> scannedLiveries;

bool gf_liveryLess(const LiveryData& a, const LiveryData& b) {
    if (a.airl != b.airl) return a.airl < b.airl;
    if (a.type != b.type) return a.type < b.type;
    return a.title < b.title;
}

void gf_sortLiveries(std::list<LiveryData>& liveries) {
    // A stable sort of the nodes' places in a vector, then the nodes relinked in that order: the same
    // order as std::list::sort (also stable), several times faster on the tens of thousands of a scan.
    std::vector<std::list<LiveryData>::iterator> order;
    order.reserve(liveries.size());
    for (auto it = liveries.begin(); it != liveries.end(); ++it)
        order.push_back(it);
    std::stable_sort(order.begin(), order.end(),
                     [](const auto& a, const auto& b) { return gf_liveryLess(*a, *b); });
    std::list<LiveryData> sorted;
    for (const auto& it : order)
        sorted.splice(sorted.end(), liveries, it);
    liveries.swap(sorted);
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

void lf_appendAttribute(std::string& out, std::string_view name, const std::string& value) {
    out += ' ';
    out += name;
    out += "=\"";
    gf_appendAttributeText(out, value);
    out += '"';
}

} // namespace

bool lf_writeScannedLiveries(const std::filesystem::path& path) {
    if (scannedLiveries.empty()) return true;

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
        gf_logError(fmt::format("Could not save {} liveries in {}", scannedLiveries.size(), path.string()));
        return false;
    }
    std::string list = "  <liveries>\n";
    list.reserve(scannedLiveries.size() * 100);
    for (const LiveryData& livery : scannedLiveries) {
        list += "    <liv";
        lf_appendAttribute(list, "airl", livery.airl);
        lf_appendAttribute(list, "type", livery.type);
        if (livery.cargo) list += " cargo=\"true\"";
        lf_appendAttribute(list, "title", livery.title);
        if (!livery.atcid.empty()) lf_appendAttribute(list, "atcid", livery.atcid);
        list += " />\n";
    }
    list += "  </liveries>\n";
    writer.text.replace(at, emptyList.size(), list);

    if (!gf_writeFileAtomically(path, writer.text)) {
        gf_logError(fmt::format("Could not save {} liveries in {}", scannedLiveries.size(), path.string()));
        return false;
    }
    gf_log(fmt::format("{} liveries in {}", scannedLiveries.size(), path.string()));
    return true;
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
