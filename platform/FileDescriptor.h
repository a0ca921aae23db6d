// Owns one open file descriptor of the Linux backend and closes it when it goes; -1 stands for none.
#pragma once

#include <unistd.h>

namespace win32 {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd(fd) {}
    ~FileDescriptor() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return fd; }
    bool Valid() const { return fd >= 0; }

private:
    int fd;
};

}  // namespace win32
