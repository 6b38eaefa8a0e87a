// The two lockers the audio callback takes besides the engine's, made before main() in this
// order. They are never destroyed: the fuse's watchdog is never stopped and runs until the
// process ends, after main() has returned, so a destroyed locker would be locked by it.
#include "audio/Fuse.h"
#include "audio/LevelMeter.h"

BLocker& meter_level_locker = *new BLocker;
BLocker& fuse_locker = *new BLocker;
