// The command line of pdu-loglevel.
#pragma once

// Reads -s/--system, -l/--level and -h/--help with getopt_long. Returns -1 on an option
// error (the C library has reported it), 0 when help was asked for or no -s/-l was given,
// otherwise the number of -s and -l options, repeats included.
int ParseOptions(int argc, char** argv, int* subsystem, int* level, bool* help);
