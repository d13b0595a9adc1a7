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
        const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
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
