#pragma once
// The pieces of reading stands from a parking file's document that run once per stand or flight: one
// pass over an element's attributes, numbers and half hours read straight from the attribute text, the
// check for repeated stand ids and the neighbour search. Each works on what it is given; none reads or
// sets the program's state.

#include "refdata/parking_format.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <pugixml.hpp>

// The attributes of a stand element that its reading takes; empty handles for absent ones. The first
// attribute of a name counts, as with pugi::xml_node::attribute.
struct StandAttributes {
    pugi::xml_attribute id, latitude, longitude, heading, radius, cargo, ramp, heli;
};
StandAttributes gf_standAttributes(const pugi::xml_node& parkpos);

// The attributes of a flight (opt) element, likewise.
struct OptAttributes {
    pugi::xml_attribute reg, airl, type, soft, day, hh, cs, cpl;
};
OptAttributes gf_optAttributes(const pugi::xml_node& opt);

// gf_finiteNumber of the attribute's text (empty for an absent attribute). The usual forms ("-12.345")
// are read without measuring the text first; any other form goes through gf_finiteNumber.
std::optional<double> gf_finiteNumberOf(const pugi::xml_attribute& attribute);

// The stand's radius in metres from its "radius" attribute: empty when it is no finite number or beyond
// any stand's (maxStandRadiusMetres either way).
std::optional<double> gf_standRadiusOf(const pugi::xml_attribute& radius);

// gf_hours2bitset of the text, with the usual forms ("5", "10:13") read directly.
HalfHourSet gf_halfHoursOf(const char* text);

// The identity of a flight (gf_optIdentity) from its attributes.
OptIdentity gf_optIdentityOf(const OptAttributes& attributes);

// The stand with its flights, appended to `stands` under the given id: nothing for a stand at 0/0 or
// whose position is no finite latitude/longitude on the earth; a radius beyond any stand's reads as 0, a
// heading is taken within one turn; flights without an "hh" or a day 1..7 are skipped.
void gf_appendStand(std::vector<ParkPos>& stands, const pugi::xml_node& parkpos,
                    const StandAttributes& attributes, std::string id, std::uint32_t origin);

// The set of stand ids seen so far in a file; the ids are views into the document.
class StandIdSet {
public:
    explicit StandIdSet(std::size_t expected);
    // The id's hash, with its place in the table asked of memory ahead of its insert.
    std::uint64_t prepare(std::string_view id) const;
    // False when the id was seen before. `hash` is prepare's for the id.
    bool insert(std::string_view id, std::uint64_t hash);
    bool insert(std::string_view id) { return insert(id, prepare(id)); }

private:
    void grow();
    // A power of two of slots, at most half taken: 0 for a free one, else the upper half of the id's
    // hash over its number in ids_ from 1.
    std::vector<std::uint64_t> slots_;
    std::vector<std::string_view> ids_;
};

// Sets each stand's neighbours: B is a neighbour of A when A.radius + B.radius > 1.1 x their distance
// (B not A itself); the lists hold sids in stand order.
void gf_setNeighbours(std::vector<ParkPos>& stands);

// As many threads as the machine has.
inline constexpr std::size_t allReadingThreads = SIZE_MAX;

// The stands of a file's parkpositions section as gf_parseParkpositions gives them; `expected` is the
// number of stands the file states (a first size only), `threads` the most threads the reading may use
// (a large file's stands are read on several).
ParkingFileStands gf_readStandsOf(const pugi::xml_node& section, std::size_t expected, std::size_t threads);

// The stands of a file's parkpositions section read from pieces of the file's text: the section's
// content from its first stand element on, cut before stand elements. Each piece is parsed on its own
// as the content of a section, on several threads; the stands are those gf_readStandsOf gives for the
// section when every piece holds whole elements of it (nothing left open at its end, the section not
// closed within it), as the file's content is then parsed to the same elements.
class StandTextReading {
public:
    // `pieces`: [begin, end) in `text`, in file order, one after the other; `text` outlives the
    // reading. `expected` and `threads` as for gf_readStandsOf. The pieces are scanned in place: when the
    // reading is whole, values in the text are ended by NULs (the stands' texts point there); when it is
    // not, the text is as it was.
    StandTextReading(char* text, const std::vector<std::pair<std::size_t, std::size_t>>& pieces,
                     std::size_t expected, std::size_t threads);
    ~StandTextReading();
    StandTextReading(const StandTextReading&) = delete;
    StandTextReading& operator=(const StandTextReading&) = delete;

    // Whether every piece held whole elements of the section: only then may the stands be taken.
    bool whole() const;
    // The stands as gf_readStandsOf gives them, logged as it logs them. Once.
    ParkingFileStands take();

private:
    struct State;
    std::unique_ptr<State> state_;
};
