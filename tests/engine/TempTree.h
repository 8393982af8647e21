#pragma once
// A fresh temporary folder for one test with the helpers the file-tree tests use.
#include "common/TempFolder.h"

#include <filesystem>
#include <set>
#include <string>

class TempTree {
public:
    // Root ends without "/"; Path("a/b") is root + "/a/b".
    const std::string& Root() const { return folder_.Path(); }
    std::string Path(const std::string& relative) const { return folder_ / relative; }

    // Writes a file, creating its folders.
    std::string Write(const std::string& relative, const std::string& data) const
    {
        std::string path = Path(relative);
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        WriteTextFile(path, data);
        return path;
    }
    void MakeFolder(const std::string& relative) const { std::filesystem::create_directories(Path(relative)); }
    static std::string Read(const std::string& path) { return ReadTextFile(path); }

    // Every entry under the root, relative, folders with a trailing "/"; links are not followed.
    std::set<std::string> Listing() const
    {
        std::set<std::string> names;
        for (auto it = std::filesystem::recursive_directory_iterator(Root());
             it != std::filesystem::recursive_directory_iterator(); ++it) {
            std::string rel = it->path().lexically_relative(Root()).string();
            names.insert(it->is_directory() && !it->is_symlink() ? rel + "/" : rel);
        }
        return names;
    }

private:
    TTempFolder folder_;
};
