// The entry point of pdu-loglevel.
#include <pdulog/CUtil.h>
#include "Command.h"

int main(int argc, char** argv)
{
    // The command owns its process: output that cannot be written is an error it reports,
    // not a signal that ends it before the level is set.
    Util::Process::ReportWriteFailuresAsErrors();
    return RunCommand(argc, argv);
}
