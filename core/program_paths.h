#pragma once
// The names of the program's folders and files. All but the per-user paths are relative: they lie in
// the working folder, the program's own data folder.

#include <filesystem>

inline const std::filesystem::path docsFolder{"docs"};
inline const std::filesystem::path insideSystemsFolder{"InsideSystems"};
inline const std::filesystem::path fsBaseFolder{"fs-base"};
inline const std::filesystem::path tbloFolder{"tblo"};
inline const std::filesystem::path tbloZipPath{"tblo.zip"};
inline const std::filesystem::path outputFolder{"output"};
inline const std::filesystem::path outputInfoFolder{outputFolder / "info"};
inline const std::filesystem::path outputErrorsFolder{outputFolder / "errors"};
inline const std::filesystem::path inputFolder{"input"};
inline const std::filesystem::path aigRegcodesPath{inputFolder / "AIG-regcodes.xml"};
inline const std::filesystem::path myRegcodesFolder{inputFolder / "my_regcodes"};
inline const std::filesystem::path airportsMsfsPath{inputFolder / "airports_msfs.xml"};
inline const std::filesystem::path airportsMsfsNamesPath{inputFolder / "airports_msfs_names.xml"};
inline const std::filesystem::path airportsFolder{"airports"};
inline const std::filesystem::path learnedFolder{airportsFolder / "learned"};
inline const std::filesystem::path learnedStockFolder{learnedFolder / "stock"};
inline const std::filesystem::path learnedSimaddonFolder{learnedFolder / "simaddon"};
inline const std::filesystem::path learnedThirdpartyFolder{learnedFolder / "thirdparty"};
inline const std::filesystem::path mySimaddonFolder{airportsFolder / "my_simaddon"};
inline const std::filesystem::path myThirdpartyFolder{airportsFolder / "my_thirdparty"};
inline const std::filesystem::path myParkAirportsPath{airportsFolder / "my_park_airports.txt"};
inline const std::filesystem::path newVersionFolder{"new_version"};
// Left behind by older versions; the settings migration removes them.
inline const std::filesystem::path callsign2ObjectIdPath{"Callsign2ObjectId.txt"};
inline const std::filesystem::path toBeLearnedOfflineFolder{"TO_BE_LEARNED_OFFLINE"};
inline const std::filesystem::path versionsJsonPath{"versions.json"};

// The per-user folder's name under the roaming application-data folder, and the settings file in it.
inline const std::filesystem::path userFolderName{"Skyloom"};
inline const std::filesystem::path parametersFileName{"parameters.xml"};

// The per-user folder (roaming application-data folder + "Skyloom") and its parameters.xml. Empty
// until gf_resolveUserFolder has succeeded.
std::filesystem::path userFolder();
std::filesystem::path parametersPath();

// Finds the per-user folder from the roaming application-data folder. Called once the log is open,
// so that a failure is logged. Throws orv::UserErrorException when the roaming folder is unknown:
// without it the settings could not be kept.
std::filesystem::path gf_resolveUserFolder();

// Tests and tools: use this folder as the per-user folder (an empty path forgets it).
void gf_setUserFolder(const std::filesystem::path& folder);
