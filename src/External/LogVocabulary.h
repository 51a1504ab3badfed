// The level and subsystem names looked up, with nothing reported: the parsers of CLog
// decide what an unknown name makes.
#pragma once

#include "CLog.h"

#include <string_view>

namespace pdulog_detail {

// The first level whose tag contains the text, blanks included ("BUG" is DEBUG, "" is
// ERROR); false, with `level` untouched, when no tag does.
bool FindLevel(std::string_view name, LogLevel& level);
// The subsystem named exactly; false, with `subsystem` untouched, when none is.
bool FindSubsystem(std::string_view name, LogSubsystem& subsystem);

}  // namespace pdulog_detail
