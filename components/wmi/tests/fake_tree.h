// A folder tree built by a test under its own state root: the sysfs, procfs or /etc
// layout a reader expects, with the files and links a case needs.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

#include "kvtest/test_env.h"

namespace kvwmitest {

class FakeTree {
  public:
    // A new empty tree named `name` under the case's state root.
    explicit FakeTree(const std::string& name) : root_(kvtest::TestStateRoot() + "/" + name) {
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_);
    }

    const std::string& root() const { return root_; }

    // Writes `content` to root/<relative>, making the folders on the way.
    FakeTree& File(const std::string& relative, const std::string& content) {
        const std::filesystem::path path = root_ + "/" + relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << content;
        return *this;
    }
    // A symbolic link root/<relative> -> target (taken as it is).
    FakeTree& Link(const std::string& relative, const std::string& target) {
        const std::filesystem::path path = root_ + "/" + relative;
        std::filesystem::create_directories(path.parent_path());
        std::filesystem::create_symlink(target, path);
        return *this;
    }
    FakeTree& Folder(const std::string& relative) {
        std::filesystem::create_directories(root_ + "/" + relative);
        return *this;
    }

  private:
    std::string root_;
};

}  // namespace kvwmitest
