// SPDX-License-Identifier: MIT
// Small full or read-only file systems for write-failure tests. They need root and permission to
// mount; they live in a mount namespace of this process alone, so they vanish with it, even when a
// test crashes. Enter it from the main thread before any thread that is to see the mounts starts.
#pragma once

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace turnlet::testing {

// Why scratch mounts cannot be made here (empty when they can).
inline const std::string& ScratchMountsUnavailable() {
    static const std::string reason = [] {
        if (geteuid() != 0) return std::string("scratch mounts need root: test skipped");
        if (unshare(CLONE_NEWNS) != 0)
            return std::string("no private mount namespace (") + std::strerror(errno) + "): test skipped";
        // Nothing mounted from now on reaches the rest of the system.
        if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return std::string("cannot make the mounts private (") + std::strerror(errno) + "): test skipped";
        return std::string();
    }();
    return reason;
}

// A tmpfs of kilobytes at folder (created if missing).
inline bool MountSmallDisk(const std::string& folder, int kilobytes) {
    std::filesystem::create_directories(folder);
    const std::string options = "size=" + std::to_string(kilobytes) + "k";
    return mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) == 0;
}

// Fills the file system holding folder until a write fails; the filler file stays.
inline void FillDisk(const std::string& folder) {
    std::ofstream filler(folder + "/filler", std::ios::binary | std::ios::app);
    const std::vector<char> block(4096, 'x');
    while (filler.write(block.data(), static_cast<std::streamsize>(block.size())) && filler.flush()) {
    }
}

// folder, as it is, becomes read-only (for root too).
inline bool MakeReadOnly(const std::string& folder) {
    return mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) == 0 &&
           mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
}

inline bool Unmount(const std::string& folder) {
    return umount2(folder.c_str(), MNT_DETACH) == 0;
}

// Unmounts folder when the scope ends, however the test leaves it.
class UnmountAtEnd {
  public:
    explicit UnmountAtEnd(std::string folder) : folder_(std::move(folder)) {}
    ~UnmountAtEnd() { Unmount(folder_); }
    UnmountAtEnd(const UnmountAtEnd&) = delete;
    UnmountAtEnd& operator=(const UnmountAtEnd&) = delete;

  private:
    std::string folder_;
};

}  // namespace turnlet::testing
