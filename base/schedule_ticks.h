// The install schedule's ticks, once: each stage begins on its first tick, and each tick
// after it up to its last runs one slice of the stage, the last slice taking what is left.
#pragma once

enum ScheduleStage { StageStaging, StageExpansion, StageExtraction, StageShortcuts, StageRegistration, ScheduleStages };

struct StageTicks {
  int First;
  int Last;
};

inline constexpr StageTicks ScheduleTable[ScheduleStages] = {
    {1, 19},   // staging: the payload resource copied to temp.un_
    {20, 60},  // expansion: temp.un_ expanded to temp.uni
    {61, 95},  // extraction: the archive's entries written to the target folder
    {98, 98},  // the shortcuts
    {99, 99},  // the uninstall entry
};

// How many slices a stage's ticks after its first run.
inline constexpr unsigned StageSlices(int stage) { return (unsigned)(ScheduleTable[stage].Last - ScheduleTable[stage].First); }
