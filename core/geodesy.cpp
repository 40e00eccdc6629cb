#include "core/geodesy.h"
#include "core/units.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double degToRad = radiansPerDegree;
constexpr double radToDeg = degreesPerRadian;
constexpr double twoRadiiNm = 6875.493541569878;
constexpr double radiansPerFoot = 4.787404208238998e-8; // 1 / (feetPerNm * 10800 / pi)
constexpr double fullTurn = 6.283185307179586;

} // namespace

double gf_distanceNm(const Lalo& a, const Lalo& b) {
    const double phi1 = a.lat * degToRad;
    const double phi2 = b.lat * degToRad;
    const double s1 = std::sin((phi2 - phi1) * 0.5);
    const double s2 = std::sin((b.lon - a.lon) * degToRad * 0.5);
    return gf_haversineAngle(std::cos(phi2) * std::cos(phi1) * s2 * s2 + s1 * s1) * 0.5 * twoRadiiNm;
}

double gf_haversineAngle(double h) {
    // Rounding may push the haversine term a hair outside [0, 1].
    h = std::clamp(h, 0.0, 1.0);
    return 2.0 * std::atan2(std::sqrt(h), std::sqrt(1.0 - h));
}

double gf_clampedAsin(double x) {
    return std::asin(std::clamp(x, -1.0, 1.0));
}

double gf_bearing(const Lalo& from, const Lalo& to) {
    const double phi1 = from.lat * degToRad;
    const double phi2 = to.lat * degToRad;
    const double dLambda = (to.lon - from.lon) * degToRad;
    const double y = std::sin(dLambda) * std::cos(phi2);
    const double x = std::sin(phi2) * std::cos(phi1) - std::sin(phi1) * std::cos(phi2) * std::cos(dLambda);
    double theta = std::atan2(y, x);
    if (theta < 0.0) theta += fullTurn;
    // A tiny negative angle plus a full turn rounds to exactly 2*pi.
    if (theta >= fullTurn) theta = 0.0;
    return theta;
}

Lalo gf_destinationPoint(const Lalo& start, double bearingRad, double distanceFeet) {
    const double delta = distanceFeet * radiansPerFoot;
    const double phi1 = start.lat * degToRad;
    const double lambda1 = start.lon * degToRad;
    const double sinDelta = std::sin(delta);
    const double cosDelta = std::cos(delta);
    const double sinPhi1 = std::sin(phi1);
    const double cosPhi1 = std::cos(phi1);
    const double phi2 = gf_clampedAsin(std::cos(bearingRad) * sinDelta * cosPhi1 + cosDelta * sinPhi1);
    double lambda2 =
        std::atan2(std::sin(bearingRad) * sinDelta * cosPhi1, cosDelta - sinPhi1 * std::sin(phi2)) + lambda1;
    lambda2 = std::remainder(lambda2, fullTurn);
    return {phi2 * radToDeg, lambda2 * radToDeg};
}
