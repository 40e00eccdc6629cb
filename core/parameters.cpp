#include "core/parameters.h"
#include "core/file_io.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <system_error>
#include <vector>

#include <fmt/format.h>

#include "core/generations.h"
#include "core/log.h"
#include "core/program_paths.h"
#include "core/settings.h"
#include "core/strings.h"
#include "core/version.h"
#include "core/xml.h"

namespace fs = std::filesystem;

namespace {

const std::string parametersText = "parameters";
const std::string nameText = "name";
const std::string valueText = "value";
// The banner widths of the log listing: the closing line is 10 + 70 = 80 asterisks; the heading is 70
// wide around its text, so that with " parameters " it is 80 characters as well.
constexpr int bannerWidthA = 10;
constexpr int bannerWidthB = 70;

enum class FileState {
    loaded,     // parsed
    missing,    // no file
    damaged,    // there, but not well-formed XML
    unreadable, // there (or not known), but it could not be read: never overwrite it
};

struct LoadResult {
    FileState state;
    std::string why;
};

LoadResult lf_load(pugi::xml_document& doc, const fs::path& path) {
    std::error_code ec;
    const auto status = fs::status(path, ec);
    if (ec && status.type() != fs::file_type::not_found) return {FileState::unreadable, ec.message()};
    if (status.type() == fs::file_type::not_found) return {FileState::missing, {}};
    if (!fs::is_regular_file(status)) return {FileState::unreadable, "not a regular file"};
    std::ifstream in(path, std::ios::binary);
    if (!in) return {FileState::unreadable, std::strerror(errno)};
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return {FileState::unreadable, "read error"};
    const auto result = doc.load_buffer(content.data(), content.size());
    if (!result) return {FileState::damaged, result.description()};
    return {FileState::loaded, {}};
}

bool lf_save(pugi::xml_document& doc, const fs::path& path) {
    if (gf_prependXmlDeclaration(doc, path)) return true;
    gf_logError(fmt::format("saving: {} failed", path_to_utf8(path)));
    return false;
}

// A file that is about to be replaced by the values in memory is kept as parameters0.xml first. False
// when that failed: then the file must stay as it is.
bool lf_keepAsGeneration(const fs::path& path, const std::string& reason) {
    if (gf_save1GenerationOf(path)) {
        gf_log(fmt::format("{} {}; kept as {}", path_to_utf8(path), reason,
                           path_to_utf8(gf_generationName(path, 1))));
        return true;
    }
    gf_logError(
        fmt::format("{} {} nor kept as a generation; it is left as it is", path_to_utf8(path), reason));
    return false;
}

bool lf_keepDamaged(const fs::path& path, const std::string& why) {
    return lf_keepAsGeneration(path, fmt::format("could not be parsed ({})", why));
}

fs::path lf_pathOrComplain(std::string_view what) {
    auto path = parametersPath();
    if (path.empty()) gf_logError(fmt::format("parameters.xml: no per-user folder, {}", what));
    return path;
}

// Sets every entry with the key to the text (adding a missing value attribute), or appends one. False
// when it had to append one.
bool lf_setEntry(pugi::xml_node section, const std::string& key, const std::string& text) {
    bool found = false;
    for (auto entry : section.children("parameter")) {
        if (key != entry.attribute(nameText.c_str()).as_string()) continue;
        auto value = entry.attribute(valueText.c_str());
        if (!value) value = entry.append_attribute(valueText.c_str());
        value.set_value(text.c_str());
        found = true;
    }
    if (!found) gf_appendStringParameter(section, key, text);
    return found;
}

// The entries of a file that the repair replaces, by key: the first entry of every key, those of the
// section the full load reads first, then the others wherever in the document they stand.
using FileEntries = std::map<std::string, pugi::xml_node, std::less<>>;

FileEntries lf_entriesAnywhere(const pugi::xml_document& doc) {
    FileEntries entries;
    auto take = [&entries](pugi::xml_node entry) {
        if (auto name = entry.attribute(nameText.c_str())) entries.emplace(name.as_string(), entry);
    };
    for (auto entry : gf_rootChild(doc, parametersText.c_str()).children("parameter"))
        take(entry);
    std::vector<pugi::xml_node> pending{doc};
    while (!pending.empty()) {
        auto node = pending.back();
        pending.pop_back();
        if (node.type() == pugi::node_element && std::strcmp(node.name(), "parameter") == 0) take(node);
        // Children pushed last to first, so that they are visited in document order.
        for (auto child = node.last_child(); child; child = child.previous_sibling())
            if (child.type() == pugi::node_element) pending.push_back(child);
    }
    return entries;
}

// How a full document is built.
struct FullBuild {
    // Defaults instead of the values in memory.
    bool writeDefaults = false;
    // List every setting in the log and refresh its control (a full save); a single save that
    // replaces a missing or damaged file lists only its own setting.
    bool listAndShow = true;
    // Values read from the file being replaced, taken over the values in memory.
    const FileEntries* fromFile = nullptr;
};

// The entry of the file being replaced for the key, when there is one.
const pugi::xml_node* lf_fileEntry(const FullBuild& build, const std::string& key) {
    if (build.fromFile == nullptr) return nullptr;
    auto it = build.fromFile->find(key);
    return it == build.fromFile->end() ? nullptr : &it->second;
}

void lf_writeBool(pugi::xml_node section, const BoolParameter& p, const FullBuild& build) {
    bool v = build.writeDefaults ? p.defaultValue : p.value.load();
    if (auto* entry = lf_fileEntry(build, p.name)) v = entry->attribute(valueText.c_str()).as_bool(false);
    p.writeEntry(section, v, build.listAndShow);
}

void lf_writeInt(pugi::xml_node section, const IntParameter& p, const FullBuild& build) {
    std::int32_t v = build.writeDefaults ? p.defaultValue : p.value.load();
    if (auto* entry = lf_fileEntry(build, p.name))
        v = p.clamped(entry->attribute(valueText.c_str()).as_int(0));
    p.writeEntry(section, v, build.listAndShow);
}

void lf_writeString(pugi::xml_node section, const StringParameter& p, const FullBuild& build) {
    std::string v = build.writeDefaults ? p.defaultValue() : p.value();
    if (auto* entry = lf_fileEntry(build, p.name)) v = entry->attribute(valueText.c_str()).as_string();
    p.writeEntry(section, v, build.listAndShow);
}

// The full document of every registered setting. Empty node when the section could not be added.
pugi::xml_node lf_buildFull(pugi::xml_document& doc, const FullBuild& build) {
    auto root = doc.append_child("root");
    if (build.writeDefaults) PROGRAM_VERSION.setDefault(gf_programVersion.toString());
    auto section = root.append_child(parametersText.c_str());
    if (!section) return section;
    const bool show = build.listAndShow;
    for (auto* p : boolParameters)
        lf_writeBool(section, *p, build);
    for (auto* p : checkBoxParameters) {
        lf_writeBool(section, *p, build);
        if (show) p->showValue();
    }
    for (auto* p : intParameters)
        lf_writeInt(section, *p, build);
    for (auto* p : numericChoiceParameters) {
        lf_writeInt(section, *p, build);
        if (show) p->showValue();
    }
    for (auto* p : stringParameters)
        lf_writeString(section, *p, build);
    for (auto* p : controlStringParameters) {
        lf_writeString(section, *p, build);
        if (show) p->showValue();
    }
    return section;
}

// The full save, with one more entry set (a single save that ends in a full save must not lose its
// setting, also when it is in no registry). `listOne` lists that setting: in a listing full save only
// when it is in no registry (the registered ones are listed with the others), otherwise always. The
// closing line belongs to the listing.
bool lf_saveFull(const FullBuild& build, const std::string* key = nullptr, const std::string* text = nullptr,
                 const std::function<void()>& listOne = {}) {
    auto path = lf_pathOrComplain("the settings are not saved");
    if (path.empty()) return false;
    pugi::xml_document doc;
    auto section = lf_buildFull(doc, build);
    bool ok = false;
    if (section) {
        if (key != nullptr) {
            const bool registered = lf_setEntry(section, *key, *text);
            if (listOne && (!build.listAndShow || !registered)) listOne();
        }
        ok = lf_save(doc, path);
    } else {
        gf_logError(fmt::format("saving: {} failed", path_to_utf8(path)));
    }
    if (build.listAndShow) gf_log(gf_parametersClosingLine());
    return ok;
}

// Rewrites the file with root from the values in memory, or where `fromFile` has an entry of a key,
// from that entry; the key and text of a single save are applied last.
bool lf_rebuildWithRoot(const std::string* key, const std::string* text, const FileEntries* fromFile) {
    gf_log("\nPlacing a root level around a new parameters.xml to make it 100% xml compliance\n");
    return lf_saveFull(FullBuild{.fromFile = fromFile}, key, text);
}

// Writes one setting into the file at once.
template <typename Setting> void lf_saveOne(const Setting& setting) {
    std::lock_guard lock(gf_parametersFileMutex());
    const std::string key = setting.name;
    const std::string text = setting.valueText();
    auto path = lf_pathOrComplain(fmt::format("{} is not saved", key));
    if (path.empty()) return;

    pugi::xml_document doc;
    auto loaded = lf_load(doc, path);
    switch (loaded.state) {
    case FileState::unreadable:
        gf_logError(
            fmt::format("{} is not saved: {} cannot be read ({})", key, path_to_utf8(path), loaded.why));
        return;
    case FileState::damaged:
    case FileState::missing: {
        if (loaded.state == FileState::damaged && !lf_keepDamaged(path, loaded.why)) return;
        // Everything in memory, so that no other setting is lost with the file, and over it what the
        // parser read of a damaged file before the fault. Only this setting is listed.
        FileEntries fromFile = lf_entriesAnywhere(doc);
        fromFile.erase(key);
        lf_saveFull(FullBuild{.listAndShow = false, .fromFile = &fromFile}, &key, &text,
                    [&setting] { setting.log(); });
        return;
    }
    case FileState::loaded:
        break;
    }

    auto root = doc.child("root");
    // Without root the whole file is rewritten. Before the full load the values in memory are still
    // the defaults, so every entry the file holds is taken over them (the one being saved excepted),
    // and the old file stays at hand first. When it cannot be kept, the entry goes into the file as it
    // stands and the repair waits for a later save.
    FileEntries fromFile;
    if (!root) {
        fromFile = lf_entriesAnywhere(doc);
        fromFile.erase(key);
    }
    pugi::xml_node owner = root ? root : pugi::xml_node(doc);
    auto section = owner.child(parametersText.c_str());
    if (!section) section = owner.append_child(parametersText.c_str());
    lf_setEntry(section, key, text);
    setting.log();
    if (root || !lf_keepAsGeneration(path, "has no root element"))
        lf_save(doc, path);
    else
        lf_rebuildWithRoot(&key, &text, &fromFile);
}

template <typename Setting> void lf_loadBool(Setting& p, const pugi::xml_node& doc, pugi::xml_node section) {
    if (auto v = gf_readBoolParameter(doc, p.name)) {
        p.value = *v;
        p.log();
    } else {
        p.value = p.defaultValue;
        p.log();
        gf_appendBoolParameter(section, p.name, p.value.load());
    }
}

template <typename Setting> void lf_loadInt(Setting& p, const pugi::xml_node& doc, pugi::xml_node section) {
    if (auto v = gf_readIntParameter(doc, p.name)) {
        p.setClamped(*v);
        p.log();
    } else {
        p.value = p.defaultValue;
        p.log();
        gf_appendIntParameter(section, p.name, p.value.load());
    }
}

void lf_loadString(StringParameter& p, const pugi::xml_node& doc, pugi::xml_node section) {
    const bool present = p.readXml(doc);
    p.log();
    if (!present) gf_appendStringParameter(section, p.name, p.value());
}

} // namespace

std::recursive_mutex& gf_parametersFileMutex() {
    static std::recursive_mutex mutex;
    return mutex;
}

std::string gf_parametersHeading() {
    return gf_starBanner(0, bannerWidthB, false, false, parametersText);
}

std::string gf_parametersClosingLine() {
    return gf_starBanner(bannerWidthA, bannerWidthB, false, true, "");
}

bool gf_readParameters() {
    std::lock_guard lock(gf_parametersFileMutex());
    gf_log("");
    gf_log(gf_parametersHeading());
    auto path = lf_pathOrComplain("the settings keep their defaults");
    if (path.empty()) {
        gf_log(gf_parametersClosingLine());
        return false;
    }
    const std::string pathText = path_to_utf8(path);
    gf_removeStaleTemporaryFiles(path);

    pugi::xml_document doc;
    auto loaded = lf_load(doc, path);
    if (loaded.state == FileState::unreadable) {
        gf_logError(
            fmt::format("{} cannot be read ({}); the settings keep their defaults", pathText, loaded.why));
        gf_log(gf_parametersClosingLine());
        return false;
    }
    pugi::xml_node section;
    if (loaded.state == FileState::loaded) section = gf_rootChild(doc, parametersText.c_str());
    if (!section) {
        if (loaded.state != FileState::missing) {
            const bool kept = loaded.state == FileState::damaged
                                  ? lf_keepDamaged(path, loaded.why)
                                  : lf_keepAsGeneration(path, "has no parameters section");
            if (!kept) {
                gf_log(gf_parametersClosingLine());
                return false;
            }
        }
        gf_log(pathText + " not found,  create new with default values:");
        gf_saveParameters(true);
        return true;
    }

    gf_log(fmt::format("from '{}'", pathText));
    for (auto* p : boolParameters)
        lf_loadBool(*p, doc, section);
    for (auto* p : checkBoxParameters) {
        lf_loadBool(*p, doc, section);
        p->showValue();
    }
    for (auto* p : intParameters)
        lf_loadInt(*p, doc, section);
    for (auto* p : numericChoiceParameters) {
        lf_loadInt(*p, doc, section);
        p->showValue();
    }
    for (auto* p : stringParameters)
        lf_loadString(*p, doc, section);
    for (auto* p : controlStringParameters) {
        lf_loadString(*p, doc, section);
        p->showValue();
    }
    lf_save(doc, path);
    gf_log(gf_parametersClosingLine());
    return false;
}

bool gf_saveParameters(bool writeDefaults) {
    std::lock_guard lock(gf_parametersFileMutex());
    return lf_saveFull(FullBuild{.writeDefaults = writeDefaults});
}

bool gf_rebuildParametersWithRoot() {
    std::lock_guard lock(gf_parametersFileMutex());
    return lf_rebuildWithRoot(nullptr, nullptr, nullptr);
}

bool gf_removeParameter(std::string_view key) {
    std::lock_guard lock(gf_parametersFileMutex());
    auto path = parametersPath();
    if (path.empty()) return false;
    pugi::xml_document doc;
    if (lf_load(doc, path).state != FileState::loaded) return false;
    auto section = gf_rootChild(doc, parametersText.c_str());
    if (!section) return false;
    for (auto entry : section.children("parameter")) {
        if (key != entry.attribute(nameText.c_str()).as_string()) continue;
        section.remove_child(entry);
        gf_logUnlessStopping(fmt::format("Parameter '{}' removed", key));
        return lf_save(doc, path);
    }
    return false;
}

bool gf_removeParameter(const Parameter& setting) {
    return gf_removeParameter(setting.name);
}

void BoolParameter::save() const {
    lf_saveOne(*this);
}
void IntParameter::save() const {
    lf_saveOne(*this);
}
void StringParameter::save() const {
    lf_saveOne(*this);
}
