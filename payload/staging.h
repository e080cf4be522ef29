// Staging, ticks 1-19: the target folder levels, the install log, and the copy of the
// compressed payload resource into "temp.un_".
#pragma once

int BeginStaging();
int StageSlice(int tick);
