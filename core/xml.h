#pragma once
// XML helpers shared by the program's XML files (pugixml), and the MetaData header under root > meta.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include <pugixml.hpp>

struct MetaData {
    std::string author;
    std::string version;
    std::string date;      // "Dec 09, 2026"
    std::string p3d;       // "v56" for P3D, empty for MSFS
    std::string msfs;      // "2020" or "2024"
    std::int32_t sim = -1; // 1 MSFS 2020, 3 P3D, other MSFS 2024; -1 when the file has no sim entry

    // Stores the kind and sets the P3D and MSFS texts that go with it.
    void setSim(std::int32_t kind);
};

// The copyright entry of every MetaData header; the reader requires it to be present and non-empty.
inline constexpr std::string_view gf_copyrightText = "Copyright Skyloom";

// Appends root (when missing) > meta with the info entries author, version, date, copyright, sim and,
// for a sim kind of 0 or less, P3D or MSFS. The author is the product name and the date today's.
bool gf_writeMetaData(pugi::xml_node node, const MetaData& meta);
// Reads root > meta (or meta directly under the node). Empty without meta, without a non-empty
// copyright entry, or without a sim / P3D / MSFS entry unless `acceptWithoutSim`.
std::optional<MetaData> gf_readMetaData(pugi::xml_node node, bool acceptWithoutSim = false);
// Appends one info element (name, value).
bool lf_appendInfo(pugi::xml_node meta, std::string_view name, std::string_view value);

// Makes sure the document begins with <?xml version="1.0" encoding="UTF-8"?> and saves it (two-blank
// indentation, UTF-8, no byte-order mark) through the atomic file writer. False when it could not be saved.
bool gf_prependXmlDeclaration(pugi::xml_document& doc, const std::filesystem::path& path);

// The attribute's value, or "" when missing.
std::string gf_attributeString(pugi::xml_node node, const char* name);
// An attribute value as the XML library writes it between double quotes: up to the first NUL; &, < and "
// as entities, control characters as two-digit character references; everything else as it is.
void gf_appendAttributeText(std::string& out, std::string_view text);
bool gf_appendAttribute(pugi::xml_node node, std::string_view name, std::string_view value);
// Appends an attribute "true" or "false".
bool gf_appendBoolAttribute(pugi::xml_node node, std::string_view name, bool value);

// The child `section` of root when the document has a root element, else of the document.
pugi::xml_node gf_rootChild(const pugi::xml_node& doc, const char* section);

// root (or the document) > parameters > the first parameter whose name equals the key. Empty when the
// section or the key is missing; a missing value attribute gives false, 0 or "".
std::optional<bool> gf_readBoolParameter(const pugi::xml_node& doc, std::string_view key);
std::optional<int> gf_readIntParameter(const pugi::xml_node& doc, std::string_view key);
std::optional<std::string> gf_readStringParameter(const pugi::xml_node& doc, std::string_view key);

// Append <parameter name="key" value="..."/> to a parameters element.
bool gf_appendBoolParameter(pugi::xml_node parameters, std::string_view key, bool value);
bool gf_appendIntParameter(pugi::xml_node parameters, std::string_view key, std::int64_t value);
bool gf_appendStringParameter(pugi::xml_node parameters, std::string_view key, std::string_view value);
