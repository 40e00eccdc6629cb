#include "scan/tblo.h"

#include "core/generations.h"
#include "core/log.h"
#include "core/program_paths.h"
#include "core/settings.h"
#include "core/strings.h"
#include "core/xml.h"
#include "platform/os/folders.h"
#include "refdata/airport_files.h"
#include "refdata/airports.h"
#include "scan/airport_files.h"
#include "scan/scan_state.h"
#include "scan/scan_writer.h"

#include <fmt/format.h>
#include <pugixml.hpp>
#include <zip.h>

#include <fstream>
#include <limits>
#include <list>

namespace fs = std::filesystem;

namespace {

// One libzip archive; discarded unless closed successfully.
class ZipArchive {
public:
    ZipArchive(const fs::path& path, int flags) {
        int error = 0;
        archive = zip_open(path.c_str(), flags, &error);
    }
    ~ZipArchive() {
        if (archive) zip_discard(archive);
    }
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    explicit operator bool() const { return archive != nullptr; }
    zip_t* get() const { return archive; }
    // True when the archive was written.
    bool close() {
        if (!archive) return false;
        if (zip_close(archive) == 0) {
            archive = nullptr;
            return true;
        }
        zip_discard(archive);
        archive = nullptr;
        return false;
    }

private:
    zip_t* archive = nullptr;
};

bool lf_closeZipAndReport(ZipArchive& archive, const fs::path& target, std::size_t added) {
    const bool closed = archive.close();
    std::error_code ec;
    const bool exists = fs::exists(target, ec);
    std::uintmax_t size = 0;
    if (exists) {
        size = fs::file_size(target, ec);
        if (ec) size = std::numeric_limits<std::uintmax_t>::max();
    }
    gf_logAndFlush(fmt::format("[zip] Added {} files, ok_close={}, exists={}, size={} bytes", added, closed,
                               exists, size));
    return closed && added > 0 && exists && size != 0;
}

bool lf_publisherIs(const fs::path& file, std::string_view publisher) {
    pugi::xml_document doc;
    if (!doc.load_file(file.c_str())) return false;
    return gf_readStringParameter(doc, "publisher").value_or("") == publisher;
}

} // namespace

std::optional<std::string> gf_readWholeFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return std::nullopt;
    const std::streamoff size = in.tellg();
    if (size <= 0) return std::nullopt;
    std::string data(static_cast<std::size_t>(size), '\0');
    in.seekg(0);
    if (!in.read(data.data(), size)) return std::nullopt;
    return data;
}

std::optional<std::map<std::string, std::uint64_t>> gf_zipEntries(const fs::path& zip) {
    ZipArchive archive(zip, ZIP_RDONLY | ZIP_CHECKCONS);
    if (!archive) return std::nullopt;
    std::map<std::string, std::uint64_t> entries;
    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(archive.get(), static_cast<zip_uint64_t>(i), 0, &stat) != 0) return std::nullopt;
        entries[stat.name] = stat.size;
    }
    return entries;
}

bool gf_zipFolder(const fs::path& target, const fs::path& source) {
    std::error_code ec;
    const fs::file_status status = fs::status(source, ec);
    if (ec && ec != std::errc::no_such_file_or_directory) throw fs::filesystem_error("status", source, ec);
    if (!fs::is_directory(status)) {
        gf_logAndFlush(fmt::format("[zip] Not a directory: {}", path_to_utf8(source)));
        return false;
    }
    if (target.has_parent_path()) fs::create_directories(target.parent_path(), ec);
    gf_logAndFlush(fmt::format("[zip] Target file: {}", path_to_utf8(fs::absolute(target, ec))));
    gf_logAndFlush(fmt::format("[zip] Source dir : {}", path_to_utf8(fs::absolute(source, ec))));
    if (fs::exists(target, ec)) {
        gf_logAndFlush(fmt::format("[zip] Removing old zip {}", path_to_utf8(target)));
        fs::remove(target, ec);
    }
    // The library reads the data only when the archive is closed: the buffers live until then.
    std::list<std::string> buffers;
    std::map<std::string, std::uint64_t> expected;
    std::size_t added = 0;
    {
        ZipArchive archive(target, ZIP_CREATE | ZIP_TRUNCATE);
        if (!archive) {
            gf_logAndFlush("[zip] Could not open archive for writing");
            return false;
        }
        for (fs::directory_iterator it(source, ec), end; !ec && it != end; it.increment(ec)) {
            std::error_code typeError;
            if (!it->is_regular_file(typeError)) continue;
            const fs::path path = it->path();
            if (fs::equivalent(path, target, typeError)) continue;
            std::optional<std::string> data = gf_readWholeFile(path);
            if (!data) {
                gf_logAndFlush(fmt::format("[zip] READ FAIL: {}", path_to_utf8(path)));
                continue;
            }
            const std::string name = path_to_utf8(path.filename());
            buffers.push_back(std::move(*data));
            const std::string& buffer = buffers.back();
            gf_logAndFlush(fmt::format("[zip] Adding (data) {} -> {} ({} bytes)", path_to_utf8(path), name,
                                       buffer.size()));
            zip_source_t* data_source = zip_source_buffer(archive.get(), buffer.data(), buffer.size(), 0);
            if (!data_source || zip_file_add(archive.get(), name.c_str(), data_source,
                                             ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8) < 0) {
                if (data_source) zip_source_free(data_source);
                gf_logAndFlush(fmt::format("[zip] ERROR addData({})", name));
                break;
            }
            expected[name] = buffer.size();
            ++added;
        }
        if (!lf_closeZipAndReport(archive, target, added)) return false;
    }
    // Read back: the zip must hold exactly what was added.
    const auto entries = gf_zipEntries(target);
    if (!entries || *entries != expected) {
        gf_logAndFlush(fmt::format("[zip] {} does not hold the files that were added", path_to_utf8(target)));
        return false;
    }
    return true;
}

bool gf_zipFolder(const fs::path& target) {
    return gf_zipFolder(target, os::inWorkingFolder(tbloFolder));
}

void gf_collectTblo(const std::vector<std::string>& codes) {
    if (codes.empty()) return;
    const fs::path thirdparty = os::inWorkingFolder(myThirdpartyFolder);
    const fs::path tblo = os::inWorkingFolder(tbloFolder);
    MadeFiles& made = gf_scanMadeFiles();
    std::vector<fs::path> linkedOriginals;
    std::vector<fs::path> files;
    files.reserve(codes.size());
    for (const std::string& code : codes)
        files.push_back(thirdparty / gf_xmlFileNameOf(code));
    // Only what the program generated is collected or removed; a user's file stays as it is. The files
    // that this scan did not write are read for their state now; one that it wrote only before it is
    // collected or removed.
    std::vector<fs::path> others;
    for (const fs::path& f : files)
        if (!gf_producedByThisScan(f)) others.push_back(f);
    const std::vector<MadeFiles::State> othersStates = made.states(others);
    std::size_t nextOther = 0;
    for (std::size_t i = 0; i < codes.size(); ++i) {
        const std::string& code = codes[i];
        const fs::path& f = files[i];
        const bool produced = gf_producedByThisScan(f);
        const auto usersFile = [&f] {
            gf_log(fmt::format("{} is your own file: not collected", path_to_utf8(f)));
        };
        if (!produced && othersStates[nextOther++] != MadeFiles::State::unchanged) {
            usersFile();
            continue;
        }
        const auto stillMade = [&] {
            if (!produced || made.isMadeAndUnchanged(f)) return true;
            usersFile();
            return false;
        };
        if (code == "KMCI" && lf_publisherIs(f, "TropicalSim")) {
            if (!stillMade()) continue;
            std::error_code ec;
            fs::remove(f, ec);
            if (ec) throw fs::filesystem_error("remove", f, ec);
            made.forget(f);
            continue;
        }
        if (!gf_airportExists(code)) continue;
        // The file is as the scan wrote it (checked above): what it holds is known without reading it.
        const std::optional<bool> known = gf_generatedFileHasPublisher(f);
        if (!(known ? *known : gf_apfHasPublisher(f))) continue;
        if (!stillMade()) continue;
        const fs::path copy = tblo / gf_xmlFileNameOf(code);
        std::error_code ec;
        if (!fs::create_directories(tblo, ec) && ec) throw fs::filesystem_error("create_directory", tblo, ec);
        fs::copy_file(f, copy, fs::copy_options::overwrite_existing, ec);
        if (ec) {
            gf_logError(fmt::format("'{}' failed to copy '{}': {}", path_to_utf8(f), path_to_utf8(copy),
                                    ec.message()));
            continue;
        }
        gf_logAndFlush(fmt::format("{} copied to {}", code, path_to_utf8(copy)));
        const fs::path link = thirdparty / gf_txtFileNameOf(code);
        const bool linked = fs::exists(link, ec);
        if (ec)
            gf_logError(fmt::format("exists({}) failed: {}", path_to_utf8(link), ec.message()));
        else if (linked)
            linkedOriginals.push_back(f);
    }
    gf_saveScanMadeFilesIfChanged();

    const std::size_t n = gf_countDirectoryEntries(tblo);
    if (n == 0) {
        tbloFileCount = 0;
        gf_log("All your third party airports are recognised, no off line learning needed.");
        return;
    }
    const fs::path zip = tblo / tbloZipPath;
    if (!gf_zipFolder(zip)) {
        // The copies stay in tblo (which is kept); nothing asks for a mail of a zip that is not there.
        gf_logError("Zippen TBLO folder failed");
        tbloPackingFailed = true;
        return;
    }
    gf_removeXMLFilesFromDirectory(tblo);
    for (const fs::path& original : linkedOriginals) {
        if (made.removeIfMade(original)) continue;
        std::error_code ec;
        if (fs::exists(original, ec))
            gf_logError(fmt::format("remove({}) failed: {}", path_to_utf8(original),
                                    ec ? ec.message() : std::string("changed since it was written")));
    }
    gf_saveScanMadeFilesIfChanged();
    tbloFileCount = n;
    TBLO_BUTTON.enable(true);
    gf_log(fmt::format("\n! Mail {} to {}\n", path_to_utf8(zip), makerContactAddress));
    if (const auto& repaint = gf_scanHooks().repaintStatus) repaint();
}
