// The install schedule's ticks, once: each stage begins on its first tick, and each tick
// after it up to its last runs one slice of the stage, the last slice taking what is left.
#pragma once

enum ScheduleStage { StageStaging, StageExpansion, StageExtraction, StageShortcuts, StageRegistration, ScheduleStages };

struct StageTicks {
  int First;
  int Last;
};

// Staging (temp.un_), expansion (temp.uni), extraction, the shortcuts, the uninstall entry.
inline constexpr StageTicks ScheduleTable[ScheduleStages] = {{1, 19}, {20, 60}, {61, 95}, {98, 98}, {99, 99}};

// How many slices follow a stage's first tick.
inline constexpr unsigned StageSlices(int stage) { return (unsigned)(ScheduleTable[stage].Last - ScheduleTable[stage].First); }
