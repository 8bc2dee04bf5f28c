// Helpers shared by the tests: temporary folders and files.
#include "support/test_support.h"

#include "host/sysutils.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <stdlib.h>
#include <unistd.h>

namespace kestrel::test {

TTempDir::TTempDir() {
    std::string Template = GetTempPath() + "kestrel-test-XXXXXX";
    if (::mkdtemp(Template.data()) == nullptr)
        throw std::runtime_error("cannot make a temporary folder");
    FPath = Template;
}

TTempDir::~TTempDir() {
    std::error_code Ignored;
    // Restore write access first, so read-only test files go too.
    for (const auto& Entry : std::filesystem::recursive_directory_iterator(FPath, Ignored))
        std::filesystem::permissions(Entry.path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, Ignored);
    std::filesystem::remove_all(FPath, Ignored);
}

void WriteFile(const std::string& FileName, const std::string& Content) {
    std::ofstream Out(FileName, std::ios::binary | std::ios::trunc);
    Out << Content;
    if (!Out)
        throw std::runtime_error("cannot write " + FileName);
}

std::string ReadFile(const std::string& FileName) {
    std::ifstream In(FileName, std::ios::binary);
    if (!In)
        throw std::runtime_error("cannot read " + FileName);
    std::ostringstream Content;
    Content << In.rdbuf();
    return Content.str();
}

void MakeSparseFile(const std::string& FileName, std::int64_t Size) {
    WriteFile(FileName, "");
    if (::truncate(FileName.c_str(), Size) != 0)
        throw std::runtime_error("cannot size " + FileName);
}

std::vector<std::string> FilesIn(const std::string& Folder) {
    std::vector<std::string> Names;
    for (const auto& Entry : std::filesystem::directory_iterator(Folder))
        Names.push_back(Entry.path().filename().string());
    return Names;
}

} // namespace kestrel::test
