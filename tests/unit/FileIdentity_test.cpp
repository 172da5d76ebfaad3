#include "capture/FileCapture.h"

#include <gtest/gtest.h>

namespace {

// When two identities name the same file. The cases come from what systems
// report: NTFS gives a new index to a file made under a deleted one's name but
// may hand it the old creation time; Wine moves the creation time on writes;
// some file systems give no index at all.
TEST(FileIdentity, TheIndexTellsAFileAndTheCreationTimeOnlyWhereNoIndexIsKnown)
{
    struct CASE {
        const char* what;
        FILE_IDENTITY a, b;
        bool bSame;
    };
    const CASE cases[] = {
        {"one file, unchanged", {7, 100, 5000}, {7, 100, 5000}, true},
        {"one file whose creation time moved with a write", {7, 100, 5000}, {7, 100, 9000}, true},
        {"a file made under a deleted one's name, old creation time kept", {7, 100, 5000}, {7, 101, 5000}, false},
        {"the same index on another volume", {7, 100, 5000}, {8, 100, 5000}, false},
        {"no index known, same creation time", {7, 0, 5000}, {7, 0, 5000}, true},
        {"no index known, another creation time", {7, 0, 5000}, {7, 0, 6000}, false},
        {"an index on one side only", {7, 100, 5000}, {7, 0, 5000}, false},
    };
    for (const CASE& c : cases) {
        EXPECT_EQ(c.bSame, c.a == c.b) << c.what;
        EXPECT_EQ(c.bSame, c.b == c.a) << c.what << " (the other way round)";
        EXPECT_EQ(!c.bSame, c.a != c.b) << c.what;
    }
}

}  // namespace
