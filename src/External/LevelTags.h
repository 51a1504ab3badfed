// The level tags, each exactly eight characters: a blank, the name, blanks to the width.
// The vocabulary's texts, and what a record's start copies with its length known.
#pragma once

#include <pdulog/CLog.h>

#include <cstddef>

namespace pdulog_detail {

constexpr std::size_t kLevelTagLength = 8;
extern const char kLevelTags[kLogLevelCount][kLevelTagLength + 1];

}  // namespace pdulog_detail
