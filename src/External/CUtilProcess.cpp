// Process helpers: a tool's signal dispositions.
#include <pdulog/CUtil.h>

#include "Platform/Platform.h"

namespace Platform = pdulog_detail::Platform;

void Util::Process::ReportWriteFailuresAsErrors() { Platform::ReportWriteFailuresAsErrors(); }
