// The content phrase search.
#pragma once

namespace trawlix {

// Fills the translation tables and the delimiter set once; safe to call
// more than once and from any thread.
void InitContentTables();

}  // namespace trawlix
