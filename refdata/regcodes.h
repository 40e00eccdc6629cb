#pragma once
// Registration marks per livery title: the data file AIG-regcodes.xml and the user's text files in
// input/my_regcodes.

#include <filesystem>
#include <list>
#include <string>

struct RegcodeLivery {
    std::string title;           // the livery title exactly as in its aircraft.cfg section
    std::list<std::string> regs; // sorted, without repeats; empty: a title not to be used
    bool special = false;        // the livery goes only to its own registrations

    friend bool operator==(const RegcodeLivery&, const RegcodeLivery&) = default;
};

// Appends the entries of every *.TXT file directly in `folder`. True when no error was met.
bool gf_readRegcodeFiles(const std::filesystem::path& folder, std::list<RegcodeLivery>& out);

// Appends the entries of the plain input/AIG-regcodes.xml. True when it loaded, had its header and no
// title repeated the previous one. Throws std::filesystem::filesystem_error only when a file that
// does not load cannot be removed.
bool gf_readRegcodesXml(std::list<RegcodeLivery>& out);

// The same for a given plain file.
bool gf_readRegcodesXml(const std::filesystem::path& path, std::list<RegcodeLivery>& out);
