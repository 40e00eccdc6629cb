#pragma once
// Registration codes: which installed livery belongs to which registration. Merged from the
// registrations of the scanned liveries themselves, the data file AIG-regcodes and the user's own files
// in my_regcodes, each later source overriding the earlier one registration by registration.

#include "liveries/livery_tables.h"

#include <filesystem>
#include <list>
#include <set>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

struct RegcodeLivery;

// registration -> title view.
extern TextMap<TitleView> regcodeTitles;
// The installed titles of special entries, in merge order (a title may occur more than once).
extern TitleViews specialTitles;
// The same titles as a set, for the title pick.
extern std::unordered_set<TitleView> specialTitleSet;
// Registrations of special entries that carry exactly one registration.
extern std::set<std::string, std::less<>> uniqueRegcodes;
// The lines of OfflineRegcodes.txt of the last build.
extern std::vector<std::string> regcodeReport;
// Titles that the livery scan must not use.
extern std::vector<std::string> dontUseTitles;

// The registrations of the scanned liveries; clashes go to InlineRegcodes.txt.
void lf_addInlineRegcodes();
// Merges AIG-regcodes.enc and the my_regcodes files and writes OfflineRegcodes.txt.
void gf_buildRegcodeTable();
// Merges one source, entry by entry.
void lf_mergeRegcodeList(const std::list<RegcodeLivery>& entries);

// The titles without registrations: of AIG-regcodes.xml (already decrypted by the scan), and of the
// user's files.
void gf_readAigDontUseTitles();
void gf_readUserDontUseTitles();

// Empties regcodeTitles, specialTitles and uniqueRegcodes (part of gf_clearLiveryTables).
void gf_clearRegcodeTables();
