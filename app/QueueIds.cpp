#include "app/QueueIds.h"

#include <algorithm>
#include <set>

void AssignQueueIds(std::vector<int>& ids)
{
    std::set<int> kept;
    std::vector<bool> bNeeds(ids.size(), false);
    for (size_t i = 0; i < ids.size(); ++i) {
        if (ids[i] <= 0 || !kept.insert(ids[i]).second)
            bNeeds[i] = true;
    }
    int next = 1;
    for (size_t i = 0; i < ids.size(); ++i) {
        if (!bNeeds[i])
            continue;
        while (kept.count(next)) ++next;
        ids[i] = next;
        kept.insert(next);
    }
}
