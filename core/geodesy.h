#pragma once
// Positions on one spherical earth (one degree of arc = 60 nautical miles).

struct Lalo {
    double lat = 0.0; // degrees, north positive
    double lon = 0.0; // degrees, east positive
};

// Great-circle distance in nautical miles.
double gf_distanceNm(const Lalo& a, const Lalo& b);
// Initial great-circle bearing in radians clockwise from true north, in [0, 2*pi).
double gf_bearing(const Lalo& from, const Lalo& to);
// The point reached from start along the bearing (radians) over the distance (feet); longitude
// wrapped into [-180, 180].
Lalo gf_destinationPoint(const Lalo& start, double bearingRad, double distanceFeet);

// The two steps where rounding can leave the domain of a function; both clamp first, so a value a
// hair outside (1.0000000000000002) gives the edge's result instead of NaN.
// The central angle in radians of a haversine term h (clamped to [0, 1]).
double gf_haversineAngle(double h);
// asin of x clamped to [-1, 1].
double gf_clampedAsin(double x);
