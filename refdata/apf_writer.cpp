#include "refdata/apf_writer.h"

bool gf_writeApf(const ApfData&, const std::filesystem::path&, int, std::int32_t) {
    return false;
}
bool gf_writeApfHeader(pugi::xml_node, const ApfData&, int) {
    return false;
}
