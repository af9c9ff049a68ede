// A small volume of a test's own (a tmpfs of the given size, mounted on a folder made for it), unmounted
// and removed at the end; none when this process may not mount (refused() says why).
#pragma once

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

namespace xbtest {

class SmallVolume {
public:
    explicit SmallVolume(const char* size) {
        std::string dir = (std::filesystem::temp_directory_path() / "lm-volume-XXXXXX").string();
        if (!::mkdtemp(dir.data())) return;
        m_dir = dir;
        if (::mount("tmpfs", dir.c_str(), "tmpfs", 0, (std::string("size=") + size).c_str()) == 0) {
            m_refused.clear();
            return;
        }
        m_refused = std::strerror(errno);
        ::rmdir(dir.c_str());
    }
    ~SmallVolume() {
        if (!m_refused.empty() || m_dir.empty()) return;
        ::umount2(m_dir.c_str(), MNT_DETACH);
        ::rmdir(m_dir.c_str());
    }
    SmallVolume(const SmallVolume&) = delete;
    SmallVolume& operator=(const SmallVolume&) = delete;
    const std::string& dir() const { return m_dir; }
    const std::string& refused() const { return m_refused; }
    // Takes every free block but `left` bytes.
    void fill(size_t left) {
        const int fd = ::open((m_dir + "/filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const std::string block(4096, 'x');
        off_t size = 0;
        while (::write(fd, block.data(), block.size()) == static_cast<ssize_t>(block.size())) size += 4096;
        if (::ftruncate(fd, size > static_cast<off_t>(left) ? size - static_cast<off_t>(left) : 0) != 0)
            size = 0;
        ::close(fd);
    }
    void free() { ::unlink((m_dir + "/filler").c_str()); }

private:
    std::string m_dir, m_refused = "no directory";
};

}  // namespace xbtest
