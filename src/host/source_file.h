// TSourceFileStream: a regular file opened by name to be read as the source of a text, with
// failures that name the file.
#pragma once

#include "host/streams.h"

#include <cstdint>
#include <string>

namespace kestrel {

/// A file opened for reading, by name, to be the source of a viewer's or editor's text. Only a
/// regular file is taken: a folder, a FIFO, a device or a socket is refused before it is opened,
/// so opening never waits for a FIFO's writer nor wakes a device. Every later failure to read
/// raises EReadError "Cannot read file "<name>". <reason>", also when the file has shrunk below
/// the size last reported by GetSize and, unless told otherwise, when it has been deleted or
/// replaced by another file of the same name since it was opened.
class TSourceFileStream : public TFileStream {
public:
    /// Opens FileName with fmOpenRead and ShareMode (one of the fmShare values). Raises
    /// EFOpenError "Cannot open file "<name>". <reason>" for a name that does not exist, cannot
    /// be opened, is not a regular file, or whose share mode does not allow the access.
    /// ReportRemoval: a read after the file lost its last name fails (the bytes would still be
    /// readable; a viewer tells its user instead, an editor holding unsaved edits may not want to).
    TSourceFileStream(const std::string& FileName, std::uint16_t ShareMode,
                      bool ReportRemoval = true);

    std::int64_t Read(void* Buffer, std::int64_t Count) override;
    std::int64_t ReadAt(std::int64_t Pos, void* Buffer, std::int64_t Count) override;
    /// The file's size now; reads before it must succeed from then on.
    std::int64_t GetSize() override;

private:
    /// Raises EReadError naming the file, with Reason.
    [[noreturn]] void RaiseReadError(const std::string& Reason) const;
    /// Raises when the file lost its last name (deleted, or replaced by a rename).
    void CheckNotRemoved() const;

    std::int64_t KnownSize = 0; // the size last reported; a read ending before it is a shrink
    bool ReportRemoval = true;  // false also where the file system shows no link count
};

} // namespace kestrel
