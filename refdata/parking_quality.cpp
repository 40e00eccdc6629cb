#include "refdata/parking_quality.h"

QualityFactors gf_qualityFactors() {
    return {-1, -1};
}
std::string gf_qualityText() {
    return "  ";
}
double gf_readDestApfForClosestStand(const std::string&, const Lalo&, std::string&) {
    return 100.0;
}
