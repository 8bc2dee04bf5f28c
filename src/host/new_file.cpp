// Files created new with O_EXCL, and short file names.
#include "host/new_file.h"

#include "host/exceptions.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrel {

namespace {

// Creates FileName exclusively; the handle, or -1 with errno set.
int CreateExclusive(const std::string& FileName) {
    int Fd;
    do
        Fd = ::open(FileName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    while (Fd < 0 && errno == EINTR);
    return Fd;
}

[[noreturn]] void RaiseCreateError(const std::string& FileName, int Error) {
    throw EFCreateError("Cannot create file \"" + FileName + "\". " + std::strerror(Error));
}

} // namespace

TNewFileStream::TNewFileStream(const std::string& FileName)
    : THandleStream(-1), FFileName(FileName) {
    FHandle = CreateExclusive(FileName);
    if (FHandle < 0)
        RaiseCreateError(FileName, errno);
}

TNewFileStream::~TNewFileStream() {
    if (FHandle >= 0)
        ::close(FHandle);
}

bool FileCreateNew(const std::string& FileName) {
    const int Fd = CreateExclusive(FileName);
    if (Fd < 0) {
        if (errno == EEXIST)
            return false;
        RaiseCreateError(FileName, errno);
    }
    ::close(Fd);
    return true;
}

bool GetShortPathName(const std::string& LongName, std::string& ShortName) {
    struct stat St {};
    if (LongName.empty() || ::stat(LongName.c_str(), &St) != 0)
        return false;
    ShortName = LongName;
    return true;
}

} // namespace kestrel
