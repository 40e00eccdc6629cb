#include "refdata/regcodes.h"

#include "core/log.h"
#include "core/strings.h"
#include "core/textfile.h"
#include "core/xml.h"
#include "refdata/data_files.h"

#include <fmt/format.h>
#include <pugixml.hpp>

#include <exception>
#include <string_view>
#include <vector>

namespace {

std::string_view lf_liveries(std::size_t count) {
    return count == 1 ? "livery" : "liveries";
}

bool lf_validRegLength(const std::string& reg) {
    return reg.size() >= 3 && reg.size() <= 12;
}

std::list<std::string> lf_sortedRegs(std::string_view text) {
    std::list<std::string> regs = gf_splitAtCommaToList(text);
    regs.sort();
    regs.unique();
    return regs;
}

// One line of a registration text file; false when it holds an error.
bool lf_readRegcodeLine(const std::string& line, const std::string& file, std::list<RegcodeLivery>& out) {
    const std::vector<std::string> fields = gf_splitAndTrim(line, ';');
    if (fields.size() == 1) {
        if (!fields[0].empty()) out.push_back(RegcodeLivery{fields[0], {}, false});
        return true;
    }
    if (fields.size() != 2 && fields.size() != 3) {
        gf_logError(fmt::format("{}: wrong format '{}'", file, line));
        return false;
    }
    std::list<std::string> regs = lf_sortedRegs(fields[1]);
    if (regs.empty()) return true;
    if (regs.size() == 1) {
        if (!lf_validRegLength(regs.front())) {
            gf_logError(fmt::format("wrong regcode length '{}' in {}", regs.front(), file));
            return false;
        }
        // A livery tied to one aircraft only belongs to that aircraft.
        out.push_back(RegcodeLivery{fields[0], std::move(regs), true});
        return true;
    }
    bool ok = true;
    const bool special = fields.size() == 3 && fields[2] == "#";
    for (auto it = regs.begin(); it != regs.end();) {
        if (lf_validRegLength(*it)) {
            ++it;
            continue;
        }
        gf_logError(fmt::format("wrong regcode length '{}' in {}", *it, file));
        ok = false;
        it = regs.erase(it);
    }
    if (regs.empty())
        gf_logError(fmt::format("{} ; regs empty?", file));
    else
        out.push_back(RegcodeLivery{fields[0], std::move(regs), special});
    return ok;
}

} // namespace

bool gf_readRegcodeFiles(const std::filesystem::path& folder, std::list<RegcodeLivery>& out) {
    bool result = true;
    try {
        for (const std::filesystem::directory_entry& entry : std::filesystem::directory_iterator(folder)) {
            if (!entry.is_regular_file() || !gf_equalsAsUpper(".TXT", entry.path().extension().string()))
                continue;
            const std::string file = path_to_utf8(entry.path());
            gf_log(fmt::format("Processing regcodes file '{}'", file));
            std::vector<std::string> lines;
            if (!gf_readLinesByCharset(gf_detectCharset(entry.path()), entry.path(), lines)) continue;
            for (const std::string& line : lines)
                if (!line.empty() && !lf_readRegcodeLine(line, file, out)) result = false;
        }
        gf_log(fmt::format("{} {}", out.size(), lf_liveries(out.size())));
    } catch (const std::exception& e) {
        gf_logError(
            fmt::format("Error reading regcode files in {}, what: {}", path_to_utf8(folder), e.what()));
        return false;
    }
    return result;
}

bool gf_readRegcodesXml(std::list<RegcodeLivery>& out) {
    return gf_readRegcodesXml(refdataInputFolder() / "AIG-regcodes.xml", out);
}

bool gf_readRegcodesXml(const std::filesystem::path& path, std::list<RegcodeLivery>& out) {
    pugi::xml_document doc;
    if (!doc.load_file(path.c_str())) {
        gf_logError(fmt::format("Failed to load {}", path_to_utf8(path)));
        if (std::filesystem::exists(path)) std::filesystem::remove(path);
        return false;
    }
    // Like the airport files, the data file names its simulator in its header.
    if (!gf_readMetaData(doc)) return false;

    bool result = true;
    const pugi::xml_node root = doc.child("root");
    const pugi::xml_node liveries = (root ? root : doc).child("AIG-regcodes");
    std::string previousTitle;
    for (const pugi::xml_node& livery : liveries.children("livery")) {
        std::string title = livery.attribute("title").as_string();
        if (title.empty()) continue;
        if (title == previousTitle) {
            gf_logError(fmt::format("SAME AS PREVIOUS title '{}'", title));
            result = false;
            continue;
        }
        previousTitle = title;
        out.push_back(RegcodeLivery{std::move(title), lf_sortedRegs(livery.attribute("reg").as_string()),
                                    livery.attribute("special").as_bool(false)});
    }
    gf_log(fmt::format("{} {} read from AIG-regcodes", out.size(), lf_liveries(out.size())));
    return result;
}
