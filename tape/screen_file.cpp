// SPDX-License-Identifier: MIT
// Writing a screen file without harm (screen_file.h): opened without waiting, checked, then
// truncated and written.
#include "tape/screen_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/same_file.h"

void writeScreenFile(const std::string& fileName, const std::string& inputName,
                     const std::string& picture) {
    // Not truncated on opening: the file is only emptied once it is known to be no input.
    // O_NONBLOCK makes a FIFO without a reader fail at once instead of waiting for one.
    const int fd =
        ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) {
        return;
    }
    struct stat file {};
    if (::fstat(fd, &file) == 0 && S_ISREG(file.st_mode) && !kelvanto::isSameFile(fd, inputName) &&
        ::ftruncate(fd, 0) == 0) {
        std::size_t done = 0;
        while (done < picture.size()) {
            const ssize_t written = ::write(fd, picture.data() + done, picture.size() - done);
            if (written <= 0) {
                break;
            }
            done += static_cast<std::size_t>(written);
        }
    }
    ::close(fd);
}
