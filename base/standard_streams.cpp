// SPDX-License-Identifier: MIT
// Closed standard descriptors reopened on /dev/null (standard_streams.h).
#include "base/standard_streams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace kelvanto {

bool openClosedStandardDescriptors() noexcept {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) {
            continue;
        }
        // open() returns the lowest free number, which is this one: the lower ones are open.
        // The contrary mode keeps the stream as good as closed (a write to standard output
        // still fails and is reported), while its number can no longer go to a file.
        const int opened = ::open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
        if (opened != fd) {
            if (opened >= 0) {
                ::close(opened);
            }
            return false;
        }
    }
    return true;
}

}  // namespace kelvanto
