#pragma once
// A fresh temporary folder for one test, removed with everything in it afterwards.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

class TempTree {
public:
    TempTree()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "gleanery-test-XXXXXX").string();
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (::mkdtemp(name.data()) != nullptr)
            root_ = name.data();
        EXPECT_FALSE(root_.empty());
    }
    ~TempTree()
    {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    // Root ends without "/"; Path("a/b") is root + "/a/b".
    const std::string& Root() const { return root_; }
    std::string Path(const std::string& relative) const { return root_ + "/" + relative; }

    // Writes a file, creating its folders.
    std::string Write(const std::string& relative, const std::string& data) const
    {
        std::filesystem::path path = Path(relative);
        std::filesystem::create_directories(path.parent_path());
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << data;
        return path.string();
    }
    void MakeFolder(const std::string& relative) const { std::filesystem::create_directories(Path(relative)); }

    static std::string Read(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }

    // Every entry under the root, relative, folders with a trailing "/".
    std::set<std::string> Listing() const
    {
        std::set<std::string> names;
        for (auto it = std::filesystem::recursive_directory_iterator(root_);
             it != std::filesystem::recursive_directory_iterator(); ++it) {
            std::string rel = it->path().lexically_relative(root_).string();
            names.insert(it->is_directory() && !it->is_symlink() ? rel + "/" : rel);
        }
        return names;
    }

private:
    std::string root_;
};
