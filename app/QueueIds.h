#pragma once
#include <vector>

// Gives every source without a queue id, or with one an earlier source
// already has, the lowest id no source has (ids from 1). The same list gives
// the same ids, so a settings file written before ids existed names the same
// queue files at every load until it is saved.
void AssignQueueIds(std::vector<int>& ids);
