// SaveFileSafely: temporary file, flush, rename over the target.
#include "host/safe_save.h"

#include "host/exceptions.h"
#include "host/sysutils.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrel {

std::string ResolveSaveTarget(const std::string& FileName) {
    struct stat St {};
    if (::lstat(FileName.c_str(), &St) != 0 || !S_ISLNK(St.st_mode))
        return FileName;
    std::unique_ptr<char, decltype(&std::free)> Real(::realpath(FileName.c_str(), nullptr),
                                                     &std::free);
    return Real ? std::string(Real.get()) : FileName;
}

void FlushFolderOf(const std::string& FileName) {
    std::string Folder = ExtractFilePath(FileName);
    if (Folder.empty())
        Folder = ".";
    const int Fd = ::open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (Fd >= 0) {
        ::fsync(Fd);
        ::close(Fd);
    }
}

bool LinkFile(const std::string& Existing, const std::string& NewName, bool& Unsupported) {
    Unsupported = false;
    if (::link(Existing.c_str(), NewName.c_str()) == 0)
        return true;
    Unsupported = errno == EPERM || errno == EOPNOTSUPP || errno == EMLINK || errno == EXDEV;
    return false;
}

bool CopyFileMode(const std::string& From, const std::string& To) {
    struct stat St {};
    return ::stat(From.c_str(), &St) == 0 && ::chmod(To.c_str(), St.st_mode & 07777) == 0;
}

std::string SafeSaveTempName(const std::string& FileName) {
    static std::atomic<unsigned> Counter{0};
    // The name's first bytes are enough to tell the file; a long name must leave room for the
    // suffix within the file system's limit on a name.
    const std::string Base = ExtractFilePath(FileName) + "." +
                             ExtractFileName(FileName).substr(0, 128) + ".~" +
                             std::to_string(::getpid()) + "-";
    for (;;) {
        std::string Name = Base + std::to_string(Counter.fetch_add(1)) + ".tmp";
        struct stat St {};
        if (::lstat(Name.c_str(), &St) != 0)
            return Name;
    }
}

void SaveFileSafely(const std::string& FileName, const std::function<void(TStream*)>& Write) {
    const std::string Target = ResolveSaveTarget(FileName);
    struct stat Old {};
    const bool Exists = ::stat(Target.c_str(), &Old) == 0;
    if (Exists && S_ISDIR(Old.st_mode))
        throw EFCreateError("Cannot create file \"" + FileName + "\". " + std::strerror(EISDIR));
    // Renaming would get past a write protection that truncating in place respects.
    if (Exists && (FileGetAttr(Target) & faReadOnly) != 0)
        throw EFCreateError("Cannot create file \"" + FileName + "\". " + std::strerror(EACCES));
    // A device or a FIFO (the standard output, /dev/null) holds no bytes to keep, and renaming
    // over it would replace it with a plain file: it is written in place.
    if (Exists && !S_ISREG(Old.st_mode)) {
        TFileStream Stream(Target, fmOpenWrite | fmShareDenyNone);
        Write(&Stream);
        return;
    }

    const std::string Temp = SafeSaveTempName(Target);
    try {
        {
            TFileStream Stream(Temp, fmCreate);
            if (Exists)
                ::fchmod(Stream.GetHandle(), Old.st_mode & 07777);
            Write(&Stream);
            Stream.Flush();
        }
        if (!ReplaceFile(Temp, Target))
            throw EFCreateError("Cannot create file \"" + FileName + "\". " + std::strerror(errno));
    } catch (...) {
        DeleteFile(Temp);
        throw;
    }
    FlushFolderOf(Target);
}

} // namespace kestrel
