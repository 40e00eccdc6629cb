#pragma once
// AI flight plans: small AceXML ".pln" files with the departure and destination airports of an AI
// aircraft, named after its simulator object id, in the folder "orig_dest" of the per-user folder.

#include "refdata/size_category.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

// The flight-plan folder; empty until gf_createFlightPlanFolder.
std::filesystem::path gf_flightPlanFolder();

// Makes the folder (with missing parents) below the per-user folder; a failure is logged. Returns
// whether the folder exists. Throws std::filesystem::filesystem_error when that cannot be tested.
bool gf_createFlightPlanFolder();

// The folder joined with "{objectId}.pln".
std::filesystem::path gf_flightPlanPath(std::uint32_t objectId);

// The whole text of a plan file: "IFR" for Buzjets, Large and Heavy, "VFR" otherwise. Origin and
// destination are written only when they are airport codes (letters and digits, at most four after
// trimming); otherwise the field stays empty.
std::string gf_flightPlanText(std::string_view origin, std::string_view destination, SizeCategory category);

// Writes the plan (replacing an earlier file) with the text of gf_flightPlanText. False when the file
// cannot be opened.
bool gf_writeFlightPlan(const std::filesystem::path& path, std::string_view origin,
                        std::string_view destination, SizeCategory category);

// The plan file of an object removed from the simulator; returns the system's error text, empty on
// success (a missing file is no error).
std::string gf_removeFlightPlan(const std::filesystem::path& path);

// Removes the folder with everything in it (the closing down of a run); an error is logged as
// "gf_removeFlightPlanFolder: {}". Nothing happens while the folder is not set.
void gf_removeFlightPlanFolder();

// Tests only: forgets the folder.
void gf_resetFlightPlansForTests();
