// The cleanup run, started by hand with "zapfiles", or at the next logon by the run-once
// value of a removal run that could not get rid of everything: it deletes the service's
// home directory with everything in it, as the removal run's last step does, and hands
// what is still in use to the next restart.
#include "driver/home_directory.h"
#include "driver/stages.h"

void FileCleanup(DriverBuffers* buffers) { DeleteHomeDirectory(buffers); }
