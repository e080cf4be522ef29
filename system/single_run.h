// One run at a time: setup.exe and uninst.exe share a named mutex, held until the
// process ends and inherited by the processes it starts (the uninstaller's helper copy).
#pragma once

// 1 when no other setup or uninstall of the game runs; this process then holds the mutex.
int ClaimTheOnlyRun();
// Says that another run is going (unless silent); gives AnotherRunGoing.
int RefuseSecondRun(int silent);
