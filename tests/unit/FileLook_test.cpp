// What counts as a change when the watcher looks at a file itself: after an
// overflowed batch, a dropped notification, or its folder coming back.
#include "capture/ReadDirChange.h"

#include <gtest/gtest.h>

TEST(FileLook, AChangeIsAFileThereNowThatDiffersFromTheEarlierLook)
{
    const FILE_LOOK seen{true, 1000, 5000, 100};
    const struct {
        const char* szName;
        FILE_LOOK earlier;
        FILE_LOOK now;
        bool bChanged;
    } cases[] = {
        {"nothing changed", seen, seen, false},
        {"longer", seen, {true, 1200, 5000, 100}, true},
        {"same length, written again", seen, {true, 1000, 5001, 100}, true},
        {"another file, same length and write time", seen, {true, 1000, 5000, 101}, true},
        {"gone", seen, FILE_LOOK(), false},
        {"back after it was gone", FILE_LOOK(), seen, true},
        {"still gone", FILE_LOOK(), FILE_LOOK(), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.bChanged, ChangedSince(c.earlier, c.now)) << c.szName;
    }
}
