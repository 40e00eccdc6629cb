#pragma once
// The check a downloaded data file must pass before it replaces the installed one: decrypting is not
// enough, as another data file (or an empty one) served under the name decrypts as well and would fail
// every later start.

#include <filesystem>
#include <string>
#include <string_view>

// Reads the plain text of a data file as the program will read the file of that name (airports.enc,
// dbase.enc, AIG-regcodes.enc): the right kind, it parses, it holds at least one record (for the
// type database: every list whose emptiness ends the start). Empty when it passes, else why not. Other
// names pass. Never throws.
std::string gf_checkPlainDataFile(std::string_view fileName, const std::filesystem::path& plain);
