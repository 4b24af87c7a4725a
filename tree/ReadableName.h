// The text drawn for a name or path held as bytes: valid UTF-8 decoded,
// control characters (tab, newline ...) as their visible pictures (U+2400
// block) and bytes that are not UTF-8 as \xNN. For display only: the result
// never goes back to the system as a path.
#pragma once

#include <QString>
#include <string_view>

namespace trawlix {

QString ReadableName(std::string_view bytes);

}  // namespace trawlix
