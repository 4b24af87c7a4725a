// Exclusion masks: whether a file in a folder matches an entry of the
// plan's exclusion list.
#pragma once

#include <string>
#include <vector>

namespace trawlix {

// True when FileName in Folder (ending in "/") matches any of Masks; false
// for an empty list.
bool IsExcludedBy(const std::vector<std::string>& Masks, const std::string& Folder,
                  const std::string& FileName);

}  // namespace trawlix
