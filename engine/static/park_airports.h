#pragma once
// The park-airport list: the airports named in airports/my_park_airports.txt (each with the stand kept
// for the user's own aircraft) and those with an airport file in airports/my_thirdparty. Worker thread
// only.

#include "core/geodesy.h"
#include "engine/base/stands.h"

#include <list>
#include <optional>
#include <string>

// More entries than this cost much cpu time; the reader warns.
inline constexpr std::size_t parkAirportWarnCount = 3000;

// Rebuilds parkAirport.parkAirports from my_park_airports.txt and the my_thirdparty folder. False when the
// file names an airport the airports table does not know, or when the folder cannot be listed.
bool lf_readMyParkAirports();

// Writes the first entry of parkAirport.parkAirports into my_park_airports.txt (its line replaced or added,
// the file sorted without repeated lines). False when it could not be written (logged); the old file stays.
bool gf_saveMyParkAirport();

// Makes the destination the first entry: an entry already listed moves to the front, a new one is put
// there and saved to the file.
void gf_setDestinationParkAirport(const std::string& code, const Lalo& position);

// Makes the airport the park airport: its record copied, the feed told, its display name shown. False
// (and the display name emptied) when the airports table does not know it.
bool gf_setParkAirport(const std::string& code);

// Re-reads the list ("Re-read") and, with checkStand, takes a changed reserved stand of the park
// airport into force (the old one unblocked, the new one cleared and blocked). False when the list could
// not be read (message untouched); else the message says what happened.
bool gf_checkParkAirports(bool checkStand, std::string& message);

// ---- Other threads ----
// The worker publishes the first entry (code, stand, position) and the park airport's code after it
// changed the list; the window and the simulator link read the copy, never the list.
void gf_publishFirstParkAirport();
std::optional<Lalo> gf_firstParkAirportPosition();
// The link's thread: the user stands at `stand`. When the first entry is the park airport and its stand
// differs, the copy takes the stand, the file is saved and the worker takes it into parkAirport.parkAirports
// at its next pass (gf_takeKeptUserStand).
void gf_keepUserStand(const std::string& stand);
void gf_takeKeptUserStand();

// Tests only: the list emptied.
void gf_resetParkAirportsForTests();
