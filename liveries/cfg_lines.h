#pragma once
// The line matchers of aircraft.cfg files: "key = value" lines and [fltsim.N] headers. Each is a
// hand-written scanner that runs in time linear in the line's length and never recurses, so a line of
// any length or shape is safe. The rules, for a key K:
//   - the whole line is: blanks, K in any letter case, blanks, "=", blanks, the value, blanks;
//   - blanks are space, tab, line feed, vertical tab, form feed and carriage return;
//   - the value starts at the first non-blank character after "=" and ends at the last non-blank
//     character of the line; it may not hold a line feed or a carriage return;
//   - the quote rule: a value holding a double quote becomes the text between its first and its
//     second double quote (empty when there is no second one or the two are adjacent).

#include <optional>
#include <string>
#include <string_view>

// The value of the line's key K after the quote rule; empty optional when the line is not a K line.
std::optional<std::string> gf_cfgKeyValue(std::string_view line, std::string_view key);
// The raw value (before the quote rule); empty optional when the line is not a K line.
std::optional<std::string_view> gf_cfgRawValue(std::string_view line, std::string_view key);
// The quote rule alone.
std::string gf_cfgUnquote(std::string_view value);

// The extractors: true and the value in `out` when the line gives one; `out` unchanged otherwise.
bool lf_getTitle(std::string_view line, std::string& out);
bool lf_getTexture(std::string_view line, std::string& out);
bool lf_getAtcParkingTypes(std::string_view line, std::string& out);
// Only values of 5 characters or more.
bool lf_getAtcId(std::string_view line, std::string& out);
// True for every icao_airline line: "ZZZ" for an empty value or exactly "ZZZZ", else the value in
// upper case.
bool lf_getIcaoAirline(std::string_view line, std::string& out);
// The value's first 4 characters in upper case; empty when the line is no icao_type_designator line.
std::string lf_icaoTypeDesignatorOf(std::string_view line);
// The value of a base_container line (empty when the line is none); the type lookup is the caller's.
std::optional<std::string> lf_baseContainerValueOf(std::string_view line);
// Plain substring tests, exact case: "atc_id=" and "atc_parking_types".
bool lf_hasAtcIdKey(std::string_view line);
bool lf_hasAtcParkingTypesKey(std::string_view line);

// The section number of a header line: "" for a comment line ("//...") or a line that is no header;
// the digits of a well-formed "[fltsim.N]" header (any case, blanks around it); "10000" for any other
// line holding "[fltsim." or "[FLTSIM." (a malformed header still opens a section).
std::string lf_fltsimNumberOf(std::string_view line);

// Upper case, byte by byte (ASCII letters only).
std::string gf_upperAscii(std::string_view text);
