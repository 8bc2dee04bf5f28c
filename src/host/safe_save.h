// Saving a whole file without putting the old one at risk: the new text goes to a temporary file
// beside the target, is flushed to disk, and only then takes the target's name.
#pragma once

#include "host/streams.h"

#include <functional>
#include <string>

namespace kestrel {

/// Writes the file FileName through Write (which receives a stream positioned at 0) into a
/// temporary file in the same folder, flushes it to disk and renames it over FileName, so that
/// FileName holds either its old bytes or all the new ones. An existing FileName keeps its
/// permission bits; a symbolic link is followed and the file it names replaced. On any failure
/// (Write raising included) the temporary file is deleted, FileName is left as it was, and the
/// error is raised again. A read-only FileName raises EFCreateError before anything is written.
/// A FileName that is a device or a FIFO (the standard output, /dev/null) is written in place.
void SaveFileSafely(const std::string& FileName, const std::function<void(TStream*)>& Write);

/// The name SaveFileSafely writes to before the rename: a file that does not yet exist, in the
/// folder of FileName.
std::string SafeSaveTempName(const std::string& FileName);

/// The file a save of FileName really replaces: the target of a symbolic link, else FileName.
std::string ResolveSaveTarget(const std::string& FileName);

/// Flushes the folder holding FileName, so that the renames done in it survive a crash. A folder
/// that cannot be flushed is left as it is.
void FlushFolderOf(const std::string& FileName);

/// Gives the file Existing the further name NewName (a hard link), so that its bytes stay under
/// NewName when Existing is replaced by a rename. False when NewName exists or the link cannot be
/// made; Unsupported is then set when the file system has no such links (the caller may copy).
bool LinkFile(const std::string& Existing, const std::string& NewName, bool& Unsupported);

/// Gives To the permission bits of From; false when either cannot be reached.
bool CopyFileMode(const std::string& From, const std::string& To);

} // namespace kestrel
