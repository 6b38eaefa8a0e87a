// The two lockers the audio callback takes besides the engine's, defined together so that they
// are built before main() in this order and torn down after it in the reverse.
#include "audio/Fuse.h"
#include "audio/LevelMeter.h"

BLocker meter_level_locker;
BLocker fuse_locker;
