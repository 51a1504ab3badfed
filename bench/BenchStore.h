// A level store of the benchmark's own, in a fresh folder, so that no benchmark touches
// the user's levels.
#pragma once

#include <string>

namespace bench {

// Points APPDATA at a new folder under the temporary folder and returns that folder.
std::string PrivateAppData();

}  // namespace bench
