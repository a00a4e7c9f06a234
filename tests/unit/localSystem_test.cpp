// The LocalSystem check, on SIDs made by the system: Wine gives every process the
// logged-on user's token, so a run never meets the system account's.
#include "launch/startAsDesktopUser.h"

#include <sddl.h>

#include <gtest/gtest.h>

namespace {

bool isLocalSystem(const char* text) {
    PSID sid = nullptr;
    EXPECT_TRUE(ConvertStringSidToSidA(text, &sid)) << text;
    bool result = isLocalSystemSid(sid) == TRUE;
    LocalFree(sid);
    return result;
}

TEST(LocalSystem, OnlyTheSystemAccountIsLocalSystem) {
    EXPECT_TRUE(isLocalSystem("S-1-5-18"));
    for (const char* other :
         {"S-1-5-19", "S-1-5-20", "S-1-5-21-1004336348-1177238915-682003330-1000"})
        EXPECT_FALSE(isLocalSystem(other)) << other;
    EXPECT_FALSE(runningAsLocalSystem()) << "the test runs as the user";
}

} // namespace
