// The whole of pdu-loglevel behind its entry point: the exit status of one run.
#pragma once

int RunCommand(int argc, char** argv);
