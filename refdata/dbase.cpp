#include "refdata/dbase.h"

#include "core/log.h"
#include "core/strings.h"
#include "core/version.h"
#include "core/xml.h"
#include "refdata/data_files.h"
#include "refdata/type_lookups.h"

#include <fmt/format.h>
#include <pugixml.hpp>

#include <algorithm>
#include <exception>
#include <stdexcept>

Dbase dbase;

namespace {

void lf_readDbaseList(const pugi::xml_document& doc, const char* section, std::set<std::string>& set,
                      const char* element, const char* attribute) {
    const pugi::xml_node node = gf_rootChild(doc, section);
    for (const pugi::xml_node& child : node.children(element))
        for (std::string& piece : gf_splitAtComma(child.attribute(attribute).as_string()))
            set.insert(std::move(piece));
    if (set.empty())
        throw orv::UserErrorException(
            61, fmt::format("In XML file section [{}], element [{}], attribute [{}] is empty.", section,
                            element, attribute));
}

void lf_readTypeSet(const pugi::xml_document& doc, const char* section, std::set<std::string>& set,
                    const char* element) {
    std::set<std::string> fresh;
    lf_readDbaseList(doc, section, fresh, element, "types");
    set = std::move(fresh);
}

void lf_readCodeSet(const pugi::xml_document& doc, const char* section, std::set<std::string>& set) {
    lf_readDbaseList(doc, section, set, "ICAO", "codes");
}

void lf_readThirdParties(const pugi::xml_document& doc, const char* section,
                         std::vector<ThirdPartyPublisher>& list, const char* element) {
    for (const pugi::xml_node& child : gf_rootChild(doc, section).children(element))
        list.push_back(ThirdPartyPublisher{child.attribute("pub").as_string(),
                                           gf_splitAtComma(child.attribute("arpts").as_string())});
}

void lf_readSimilarLists(const pugi::xml_document& doc) {
    dbase.similarLists.reserve(64);
    for (const pugi::xml_node& child : gf_rootChild(doc, "similar_types").children("similar")) {
        std::vector<std::string> types = gf_splitAtComma(child.attribute("types").as_string());
        std::sort(types.begin(), types.end());
        dbase.similarLists.push_back(std::move(types));
    }
    dbase.similarLists.shrink_to_fit();
}

void lf_readPublishers(const pugi::xml_document& doc) {
    dbase.publisherLists.reserve(640);
    std::vector<std::string> texts;
    for (const pugi::xml_node& child : gf_rootChild(doc, "publishers").children("pub"))
        texts.emplace_back(child.attribute("names").as_string());
    std::sort(texts.begin(), texts.end());
    texts.erase(std::unique(texts.begin(), texts.end()), texts.end());
    for (const std::string& text : texts)
        dbase.publisherLists.push_back(gf_splitAtComma(text));
    dbase.publisherLists.shrink_to_fit();
    gf_log(fmt::format("{} publishers read", dbase.publisherLists.size()));
}

void lf_readWingspans(const pugi::xml_document& doc) {
    bool anyValid = false;
    for (const pugi::xml_node& child : gf_rootChild(doc, "wingspans").children("wingspan")) {
        const std::string type = child.attribute("type").as_string();
        if (type.empty() || !dbase.aircrafts.contains(type)) {
            gf_logError(fmt::format("wingspan model {} is not valid, skipped", type));
            continue;
        }
        anyValid = true;
        const double halfSpan = child.attribute("meters").as_double(0.0) * halfSpanNmPerMeter;
        dbase.wingspans.emplace(type, halfSpan);
        dbase.largestHalfSpan = std::max(dbase.largestHalfSpan, halfSpan);
    }
    if (!anyValid) return;
    std::array<double, sizeCategoryCount> sums{};
    std::array<std::uint32_t, sizeCategoryCount> counts{};
    for (const auto& [type, halfSpan] : dbase.wingspans) {
        const auto index = static_cast<std::size_t>(gf_sizeCategoryOf(type));
        counts[index] += 1;
        sums[index] += halfSpan;
    }
    for (std::size_t i = 0; i < sizeCategoryCount; ++i)
        if (counts[i] > 0) dbase.categoryHalfSpans[i] = sums[i] / counts[i];
}

void lf_readFixes(const pugi::xml_document& doc) {
    for (const pugi::xml_node& child : gf_rootChild(doc, "fixes").children("fx")) {
        const std::string wrong = child.attribute("wro").as_string();
        const std::string correct = child.attribute("cor").as_string();
        if (correct.empty() || !dbase.aircrafts.contains(correct)) {
            gf_logError(fmt::format("wrong fix {} -> {}, the latter is not valid", wrong, correct));
            continue;
        }
        if (!dbase.fixes.emplace(wrong, correct).second)
            gf_logError(fmt::format("wrong part of fix: '{}', already exists, skipped", wrong));
    }
}

void lf_readRegistrations(const pugi::xml_document& doc) {
    dbase.registrations.clear();
    for (const pugi::xml_node& child : gf_rootChild(doc, "dbase").children("db")) {
        const std::string reg = child.attribute("reg").as_string();
        RegRecord record{child.attribute("airl").as_string(), child.attribute("type").as_string(),
                         child.attribute("opr").as_string(), child.attribute("cargo").as_bool(false)};
        if (!dbase.registrations.emplace(reg, std::move(record)).second)
            gf_logError(fmt::format("regcode {} already exists", reg));
    }
}

void lf_readSections(const pugi::xml_document& doc) {
    lf_readTypeSet(doc, "aircrafts", dbase.aircrafts, "aircraft");
    lf_readTypeSet(doc, "high_performance", dbase.high_performance, "hpf");
    lf_readTypeSet(doc, "heavy", dbase.heavy, "hvy");
    lf_readTypeSet(doc, "large", dbase.large, "lar");
    lf_readTypeSet(doc, "buzjet", dbase.buzjet, "bzj");
    lf_readTypeSet(doc, "rotorcraft", dbase.rotorcraft, "rot");
    lf_readTypeSet(doc, "cargo_types", dbase.cargo_types, "cargo_type");
    lf_readSimilarLists(doc);
    lf_readCodeSet(doc, "ICAO_airlines", dbase.ICAO_airlines);
    lf_readCodeSet(doc, "cargo_operators", dbase.cargo_operators);
    lf_readPublishers(doc);
    lf_readWingspans(doc);
    lf_readFixes(doc);
    lf_readDbaseList(doc, "simaddons20", dbase.simaddons20, "simaddon20", "arpts");
    dbase.thirdparties20.reserve(600);
    lf_readThirdParties(doc, "thirdparties20", dbase.thirdparties20, "thirdpartie20");
    dbase.thirdparties24.reserve(300);
    lf_readThirdParties(doc, "thirdparties24", dbase.thirdparties24, "thirdpartie24");
    lf_readRegistrations(doc);
}

} // namespace

bool gf_readDbase() {
    const std::filesystem::path encPath = refdataInputFolder() / "dbase.enc";
    const std::filesystem::path xmlPath = refdataInputFolder() / "dbase.xml";
    if (!std::filesystem::exists(encPath))
        throw std::runtime_error(fmt::format("{} not available", encPath.string()));
    if (!gf_streamDecrypt(encPath, xmlPath))
        throw std::runtime_error(fmt::format("{} stream decrypt failed", encPath.string()));

    pugi::xml_document doc;
    const pugi::xml_parse_result result = doc.load_file(xmlPath.c_str());
    if (!result) {
        gf_logError(fmt::format("'{}' not read because of {}", xmlPath.string(), result.description()));
        gf_removeIfExists(xmlPath);
        return false;
    }
    try {
        lf_readSections(doc);
    } catch (...) {
        gf_removeIfExists(xmlPath);
        throw;
    }
    gf_logAndFlush(fmt::format("{} dbase records read", dbase.registrations.size()));
    gf_removeIfExists(xmlPath);
    return true;
}

void gf_resetDbase() {
    dbase = Dbase{};
}
