// Helpers shared by the tests: temporary folders and files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrel::test {

/// A fresh folder under the temporary path, removed with everything in it at the end of scope.
class TTempDir {
public:
    TTempDir();
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    const std::string& Path() const { return FPath; }
    /// Path of Name inside the folder.
    std::string File(const std::string& Name) const { return FPath + "/" + Name; }

private:
    std::string FPath;
};

void WriteFile(const std::string& FileName, const std::string& Content);
std::string ReadFile(const std::string& FileName);
/// The names of the entries of Folder ("." and ".." left out), in directory order.
std::vector<std::string> FilesIn(const std::string& Folder);
/// Makes a file of Size bytes that takes no disk space (a hole), then writes nothing.
void MakeSparseFile(const std::string& FileName, std::int64_t Size);

} // namespace kestrel::test
