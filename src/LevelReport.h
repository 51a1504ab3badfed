// The level report: one line per subsystem, read from the shared store as it is made.
#pragma once

// Writes the lines of the subsystems from `from` up to, not including, `to`.
void ShowLevels(int from, int to);
