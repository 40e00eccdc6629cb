#include <gtest/gtest.h>

#include "feed/winsock_errors.h"

namespace {

TEST(WinsockErrorText, CodeBlankAndWording) {
    const struct {
        int code;
        const char* text;
    } cases[] = {
        {10004, "10004 Interrupted system call"},
        {10048, "10048 Address already in use"},
        {10058, "10058 Can't send numLines socket shutdown"},
        {10101, "10101 Graceful shutdown in progress"},
        {11001, "11001 Host not found"},
        {11004, "11004 No host data of that type was found"},
        {10072, "10072 Unknown errror code"}, // between two listed codes
        {11002, "11002 Unknown errror code"},
        {11003, "11003 Unknown errror code"},
        {0, "0 Unknown errror code"},
        {-1, "-1 Unknown errror code"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(gf_winsockErrorText(c.code), c.text);
}

} // namespace
