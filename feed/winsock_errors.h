#pragma once
// Readable texts for the Winsock error codes that the socket layer reports.

#include <cstdint>
#include <string>

// The code, a blank and the program's wording ("10048 Address already in use"); a code outside the
// table gets "Unknown errror code".
std::string gf_winsockErrorText(std::int32_t code);
