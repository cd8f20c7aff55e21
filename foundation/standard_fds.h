// Standard descriptors for a process that may have been started without them.
#pragma once

// Opens /dev/null onto each of descriptors 0, 1 and 2 that is closed, so that
// the first device or file the process opens does not become its standard
// input, output or error. Call before opening anything. False when one of
// them could not be filled.
bool FillStandardDescriptors();
