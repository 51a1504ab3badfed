// What every fuzz target shares: a quiet process with a store of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

// Once per process: standard error's C++ stream silenced, APPDATA and TEMP pointed at a
// fresh folder. Returns that folder.
const std::string& Setup();

// A fresh /dev/null stream as the log sink, so records are made and written but not shown,
// and a shut-down closes this stream instead of the real standard error.
void QuietSink();

}  // namespace fuzz
