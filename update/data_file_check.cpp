#include "update/data_file_check.h"

#include "core/strings.h"
#include "core/xml.h"

#include <array>
#include <exception>

#include <fmt/format.h>
#include <pugixml.hpp>

namespace {

std::string lf_checkAirports(const pugi::xml_document& doc) {
    const pugi::xml_node airports = gf_rootChild(doc, "airports");
    if (!airports) return "no <airports> section";
    // The reader keeps only airports with position, elevation and IATA entry.
    for (const pugi::xml_node& airport : airports.children("airport"))
        if (airport.attribute("lat") && airport.attribute("lon") && airport.attribute("alt") &&
            airport.attribute("iata"))
            return {};
    return "no airport";
}

std::string lf_checkDbase(const pugi::xml_document& doc) {
    // The lists the start cannot do without (an empty one stops it with error 61), in reading order.
    struct List {
        const char* section;
        const char* element;
        const char* attribute;
    };
    static constexpr std::array<List, 10> required{{
        {"aircrafts", "aircraft", "types"},
        {"high_performance", "hpf", "types"},
        {"heavy", "hvy", "types"},
        {"large", "lar", "types"},
        {"buzjet", "bzj", "types"},
        {"rotorcraft", "rot", "types"},
        {"cargo_types", "cargo_type", "types"},
        {"ICAO_airlines", "ICAO", "codes"},
        {"cargo_operators", "ICAO", "codes"},
        {"simaddons20", "simaddon20", "arpts"},
    }};
    for (const List& list : required) {
        bool any = false;
        for (const pugi::xml_node& child : gf_rootChild(doc, list.section).children(list.element))
            if (!gf_splitAtComma(child.attribute(list.attribute).as_string()).empty()) any = true;
        if (!any) return fmt::format("section [{}] is empty", list.section);
    }
    return {};
}

std::string lf_checkRegcodes(const pugi::xml_document& doc) {
    if (!gf_readMetaData(doc)) return "no meta header";
    for (const pugi::xml_node& livery : gf_rootChild(doc, "AIG-regcodes").children("livery"))
        if (*livery.attribute("title").as_string() != '\0') return {};
    return "no livery";
}

} // namespace

std::string gf_checkPlainDataFile(std::string_view fileName, const std::filesystem::path& plain) {
    try {
        std::string (*check)(const pugi::xml_document&) = nullptr;
        if (fileName == "airports.enc")
            check = lf_checkAirports;
        else if (fileName == "dbase.enc")
            check = lf_checkDbase;
        else if (fileName == "AIG-regcodes.enc")
            check = lf_checkRegcodes;
        else
            return {};
        pugi::xml_document doc;
        if (!doc.load_file(plain.c_str())) return "not valid XML";
        return check(doc);
    } catch (const std::exception& e) {
        return e.what();
    }
}
