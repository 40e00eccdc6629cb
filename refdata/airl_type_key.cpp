#include "refdata/airl_type_key.h"

#include <fmt/format.h>

std::string gf_airlTypeKey(std::string_view airl, std::string_view type) {
    return fmt::format("{:3} {:4}", airl, type);
}
