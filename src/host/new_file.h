// Files created new (never an existing name reused, truncated or followed) and short file names.
#pragma once

#include "host/streams.h"

#include <string>

namespace kestrel {

/// A stream over a file it has just created, opened for reading and writing and closed by the
/// destructor. A name already taken (by a file, a folder or a symbolic link, even a dangling
/// one) is refused, so nothing that exists is ever truncated or written through a link.
class TNewFileStream : public THandleStream {
public:
    /// Raises EFCreateError "Cannot create file "<name>". <reason>".
    explicit TNewFileStream(const std::string& FileName);
    ~TNewFileStream() override;
    TNewFileStream(const TNewFileStream&) = delete;
    TNewFileStream& operator=(const TNewFileStream&) = delete;

    const std::string& GetFileName() const { return FFileName; }

private:
    std::string FFileName;
};

/// Creates FileName as an empty file when the name is free; false when it is taken. Any other
/// failure (no such folder, no permission) raises EFCreateError.
bool FileCreateNew(const std::string& FileName);

/// The short form of an existing file name into ShortName; false when the file does not exist.
/// This platform has no separate short names: the short form is the name itself.
bool GetShortPathName(const std::string& LongName, std::string& ShortName);

} // namespace kestrel
