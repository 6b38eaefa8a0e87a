// The fuse's locker, made before main(). It is never destroyed: the fuse's watchdog is never
// stopped and runs until the process ends, after main() has returned, so a destroyed locker
// would be locked by it.
#include "audio/Fuse.h"

BLocker& fuse_locker = *new BLocker;
