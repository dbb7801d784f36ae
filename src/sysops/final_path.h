// The path a thing is finally reached by. The program's own file and the temporary directory
// may be reached through links that the user made (Downloads or %TEMP% moved to another drive
// with a junction). Once the process refuses junctions that a non-administrator made, such a
// path no longer opens; so both are resolved first, and the run works on the things
// themselves from then on.
#pragma once

#include <wchar.h>

// Replaces path (a full path in 260 wide characters; a folder's ends with its backslash) by
// the path by which the platform finally reaches it, every link on the way followed, in the
// same form. False, with path unchanged, when it cannot be opened or the answer does not fit.
bool ResolveFinalPath(wchar_t* path);
