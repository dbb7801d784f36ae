// The service's home directory's deletion, the last step of the removal run and the whole
// of the cleanup run.
#pragma once

#include "driver/stages.h"
#include "sysops/tree_delete.h"

// Deletes the home directory with everything in it, handing what is in use to the next
// restart, and logs the step: "Delete home path: %s" and its result.
TreeDeletion DeleteHomeDirectory(DriverBuffers* buffers);
