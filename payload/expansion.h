// Expansion, ticks 20-60: "temp.un_" is expanded through the LZ operations into
// "temp.uni", one fortieth a tick, and then deleted.
#pragma once

int BeginExpansion();
int ExpandSlice(int tick);
