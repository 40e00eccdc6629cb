#pragma once
// How well the park airport's stands are covered by flights, and the nearest stand of another airport.

#include "core/geodesy.h"
#include "refdata/park_airport.h"
#include "refdata/parking_format.h"

#include <array>
#include <cstddef>
#include <string>
#include <vector>

// -1/-1 when no stand has a flight entry, else the mean stand score scaled to 0..100.
QualityFactors gf_qualityFactorsOf(const std::vector<ParkPos>& stands);
// A stand's real and soft scores, which gf_qualityFactorsOf sums over the stands.
std::array<double, 2> gf_standScores(const ParkPos& stand);
// gf_qualityFactorsOf of `stands` stands whose scores sum to `real` and `soft`; `anyEntry`: a stand has a
// flight entry.
QualityFactors gf_qualityFactorsOfSums(double real, double soft, std::size_t stands, bool anyEntry);
// gf_qualityFactorsOf parkPositions.
QualityFactors gf_qualityFactors();
// Two blanks when unknown, "{:2}" when Qf_real >= 45, else "{:2}/{:2}".
std::string gf_qualityTextOf(const QualityFactors& qf);
// gf_qualityTextOf parkQualityFactors.
std::string gf_qualityText();

// Distance in nautical miles from the position to the nearest stand of the airport's file (its id in
// `standId`); 100.0 when no stand is nearer. A fetched copy (airport.xml) is removed afterwards.
double gf_readDestApfForClosestStand(const std::string& code, const Lalo& position, std::string& standId);
