// Files the server opens by a path it does not choose at run time (its pid
// file, its status dump, its configuration), opened so that what sits at the
// path cannot stall the loop or redirect the write.
//
// A FIFO would block an open or a write until a peer comes, a symbolic link
// would send a truncating write to its target, and a device could be read
// without end; so only regular files are used. A file refused for what it is
// is told apart from one that simply cannot be opened (no such file or
// directory, no permission): `refusal` says why, for the caller to log.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace FixedPath {

// Opens `path` for writing and truncates it: never through a final symbolic
// link, never blocking, created with `mode` when missing, and kept only when
// it is a regular file. `flags` adds open flags (O_SYNC). Returns the
// descriptor (close-on-exec), or -1: with `refusal` "not a regular file"
// when something else is at the path, empty (errno set) when it could not be
// opened.
int OpenForWrite(const std::string& path, int flags, mode_t mode, std::string& refusal);

// Reads `path` whole into `contents`: symbolic links are followed, but the
// file must then be a regular file of at most `cap` bytes, and the open does
// not block. False when it cannot be opened (`refusal` empty) or is refused
// ("not a regular file", "larger than <cap> bytes", or a read error's text).
bool ReadRegular(const std::string& path, std::size_t cap, std::string& contents,
                 std::string& refusal);

}  // namespace FixedPath
