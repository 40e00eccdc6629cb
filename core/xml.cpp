#include "core/xml.h"

#include "core/file_io.h"
#include "core/log.h"
#include "core/timeutil.h"
#include "core/version.h"

#include <array>
#include <string>
#include <utility>

#include <fmt/format.h>

namespace {

class StringWriter : public pugi::xml_writer {
public:
    std::string text;
    void write(const void* data, size_t size) override { text.append(static_cast<const char*>(data), size); }
};

pugi::xml_node findParameter(const pugi::xml_node& doc, std::string_view key) {
    const auto parameters = gf_rootChild(doc, "parameters");
    if (!parameters) return {};
    for (auto p : parameters.children("parameter"))
        if (key == p.attribute("name").as_string()) return p;
    return {};
}

} // namespace

void MetaData::setSim(std::int32_t kind) {
    sim = kind;
    if (kind == 3) {
        p3d = "v56";
        msfs.clear();
    } else {
        p3d.clear();
        msfs = kind == 1 ? "2020" : "2024";
    }
}

bool lf_appendInfo(pugi::xml_node meta, std::string_view name, std::string_view value) {
    auto info = meta.append_child("info");
    if (!info) return false;
    return gf_appendAttribute(info, "name", name) && gf_appendAttribute(info, "value", value);
}

bool gf_writeMetaData(pugi::xml_node node, const MetaData& meta) {
    auto root = node.child("root");
    if (!root) root = node.append_child("root");
    if (!root) return false;
    auto metaNode = root.append_child("meta");
    if (!metaNode) return false;
    bool ok = lf_appendInfo(metaNode, "author", gf_productName) &&
              lf_appendInfo(metaNode, "version", meta.version) &&
              lf_appendInfo(metaNode, "date", gf_utcDateNow()) &&
              lf_appendInfo(metaNode, "copyright", gf_copyrightText) &&
              lf_appendInfo(metaNode, "sim", fmt::format("{}", meta.sim));
    if (ok && meta.sim <= 0) {
        ok = meta.p3d.empty() ? lf_appendInfo(metaNode, "MSFS", meta.msfs)
                              : lf_appendInfo(metaNode, "P3D", "v56");
    }
    return ok;
}

std::optional<MetaData> gf_readMetaData(pugi::xml_node node, bool acceptWithoutSim) {
    const auto root = node.child("root");
    const auto meta = (root ? root : node).child("meta");
    if (!meta) return std::nullopt;

    MetaData result;
    enum Seen { author, version, date, p3d, msfs, sim, copyright, count };
    std::array<bool, count> seen{};
    const auto firstOf = [&](Seen which) { return !std::exchange(seen[which], true); };

    for (auto info : meta.children("info")) {
        const std::string_view name = info.attribute("name").as_string();
        const auto value = info.attribute("value");
        if (name == "copyright") {
            if (!firstOf(copyright)) continue;
            if (std::string_view(value.as_string()).empty()) {
                gf_logError("no copyright info in the file?");
                return std::nullopt;
            }
        } else if (name == "author") {
            if (firstOf(author)) result.author = value.as_string();
        } else if (name == "version") {
            if (firstOf(version)) result.version = value.as_string();
        } else if (name == "date") {
            if (firstOf(date)) result.date = value.as_string();
        } else if (name == "P3D") {
            if (firstOf(p3d)) result.p3d = value.as_string();
        } else if (name == "MSFS") {
            if (firstOf(msfs)) result.msfs = value.as_string();
        } else if (name == "sim") {
            if (firstOf(sim)) result.sim = value.as_int(0);
        }
    }
    if (!seen[copyright]) return std::nullopt;
    if (!acceptWithoutSim && !seen[sim] && !seen[p3d] && !seen[msfs]) return std::nullopt;
    return result;
}

bool gf_prependXmlDeclaration(pugi::xml_document& doc, const std::filesystem::path& path) {
    pugi::xml_node declaration;
    for (auto child : doc.children()) {
        if (child.type() == pugi::node_declaration) {
            declaration = child;
            break;
        }
    }
    if (!declaration) declaration = doc.prepend_child(pugi::node_declaration);
    if (!declaration) return false;
    for (const char* name : {"version", "encoding"})
        if (!declaration.attribute(name)) declaration.append_attribute(name);
    declaration.attribute("version").set_value("1.0");
    declaration.attribute("encoding").set_value("UTF-8");

    StringWriter writer;
    doc.save(writer, "  ", pugi::format_default, pugi::encoding_utf8);
    return gf_writeFileAtomically(path, writer.text);
}

std::string gf_attributeString(pugi::xml_node node, const char* name) {
    return node.attribute(name).as_string();
}

bool gf_appendAttribute(pugi::xml_node node, std::string_view name, std::string_view value) {
    auto attr = node.append_attribute(std::string(name).c_str());
    if (!attr) return false;
    return attr.set_value(std::string(value).c_str());
}

bool gf_appendBoolAttribute(pugi::xml_node node, std::string_view name, bool value) {
    return gf_appendAttribute(node, name, value ? "true" : "false");
}

pugi::xml_node gf_rootChild(const pugi::xml_node& doc, const char* section) {
    const auto root = doc.child("root");
    return (root ? root : doc).child(section);
}

std::optional<bool> gf_readBoolParameter(const pugi::xml_node& doc, std::string_view key) {
    const auto p = findParameter(doc, key);
    if (!p) return std::nullopt;
    return p.attribute("value").as_bool(false);
}

std::optional<int> gf_readIntParameter(const pugi::xml_node& doc, std::string_view key) {
    const auto p = findParameter(doc, key);
    if (!p) return std::nullopt;
    return p.attribute("value").as_int(0);
}

std::optional<std::string> gf_readStringParameter(const pugi::xml_node& doc, std::string_view key) {
    const auto p = findParameter(doc, key);
    if (!p) return std::nullopt;
    return std::string(p.attribute("value").as_string());
}

namespace {

bool appendParameter(pugi::xml_node parameters, std::string_view key, std::string_view value) {
    auto p = parameters.append_child("parameter");
    if (!p) return false;
    return gf_appendAttribute(p, "name", key) && gf_appendAttribute(p, "value", value);
}

} // namespace

bool gf_appendBoolParameter(pugi::xml_node parameters, std::string_view key, bool value) {
    return appendParameter(parameters, key, value ? "true" : "false");
}

bool gf_appendIntParameter(pugi::xml_node parameters, std::string_view key, std::int64_t value) {
    return appendParameter(parameters, key, fmt::format("{}", value));
}

bool gf_appendStringParameter(pugi::xml_node parameters, std::string_view key, std::string_view value) {
    return appendParameter(parameters, key, value);
}

void gf_appendAttributeText(std::string& out, std::string_view text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '\0':
            return;
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            if (byte < 32) {
                out += "&#";
                out += static_cast<char>('0' + byte / 10);
                out += static_cast<char>('0' + byte % 10);
                out += ';';
            } else {
                out += c;
            }
        }
    }
}
