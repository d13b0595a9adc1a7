// SPDX-License-Identifier: MIT
// Complete-or-nothing output files and standard output for kelvanto-tape, and the check of a
// run's outputs against its inputs and each other.
#include "companion/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "base/output_path.h"
#include "base/temporary_files.h"
#include "companion/command_error.h"
#include "companion/standard_streams.h"

namespace {

// Bytes gathered before a write to the file.
constexpr std::size_t bufferSize = 1 << 16;
constexpr const char* existsReason = "File exists (use --force to replace it)";

bool writeAll(int fd, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            if (put == 0) {
                errno = EIO;
            }
            return false;
        }
        done += static_cast<std::size_t>(put);
    }
    return true;
}

// What a name stands for, as one comparable text: the device and inode of an existing file
// (whatever links and spellings lead to it), else the real path of its folder with its own
// name (links to a file not made yet followed first), else the name as given.
std::string identity(const std::string& name) {
    struct stat found {};
    if (::stat(name.c_str(), &found) == 0) {
        return "file " + std::to_string(found.st_dev) + ":" + std::to_string(found.st_ino);
    }
    const std::string path = kelvanto::linkedTarget(name);
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : path.substr(0, slash);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    char resolved[PATH_MAX];
    if (base.empty() || base == "." || base == ".." ||
        ::realpath(folder.c_str(), resolved) == nullptr) {
        return "name " + path;
    }
    return "new " + std::string(resolved) + "/" + base;
}

// Why an existing file of this name cannot be an output, or empty when it can.
std::string refusal(const std::string& name, bool force) {
    if (name.empty()) {
        return std::strerror(ENOENT);
    }
    struct stat found {};
    if (::stat(name.c_str(), &found) != 0) {
        const int error = errno;
        struct stat entry {};
        if (error == ENOENT) {
            // A link to nothing: a file would appear where the user sees a name already.
            return !force && ::lstat(name.c_str(), &entry) == 0 ? existsReason : "";
        }
        // A name too long, a loop of links, a folder that cannot be searched: said now,
        // not after the work.
        return std::strerror(error);
    }
    if (S_ISDIR(found.st_mode)) {
        return std::strerror(EISDIR);
    }
    if (!S_ISREG(found.st_mode)) {
        return "Not a regular file";
    }
    return force ? "" : existsReason;
}

mode_t newFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

void checkOutputNames(const std::vector<OutputName>& outputs,
                      const std::vector<std::string>& inputs, const std::string& inputRole,
                      bool force) {
    std::vector<std::string> inputIdentities;
    for (const std::string& input : inputs) {
        inputIdentities.push_back(input == "-" ? "standard input" : identity(input));
    }
    std::vector<std::string> seen;
    for (const OutputName& output : outputs) {
        const std::string self = output.name == "-" ? "standard output" : identity(output.name);
        for (const std::string& input : inputIdentities) {
            if (self == input) {
                throw CommandError(output.name, "is " + inputRole + "; choose another output name");
            }
        }
        for (std::size_t i = 0; i < seen.size(); ++i) {
            if (seen[i] == self) {
                throw CommandError(output.name, "is both " + outputs[i].role + " and " +
                                                    output.role +
                                                    "; give each output a name of its own");
            }
        }
        seen.push_back(self);
        if (output.name != "-") {
            const std::string reason = refusal(output.name, force);
            if (!reason.empty()) {
                throw CommandError(output.name, reason);
            }
        }
    }
}

OutputFile::OutputFile(std::string name, bool force) : target(std::move(name)), force(force) {
    if (target == "-") {
        fd = STDOUT_FILENO;
        return;
    }
    const std::string reason = refusal(target, force);
    if (!reason.empty()) {
        throw CommandError(target, reason);
    }
    replaced = kelvanto::linkedTarget(target);
    struct stat found {};
    if (::stat(replaced.c_str(), &found) == 0) {
        mode = static_cast<int>(found.st_mode & 0777);
    }
    std::string pattern = kelvanto::temporaryNameBeside(replaced);
    {
        // Created and registered as one step, so an interrupted run removes it.
        kelvanto::SignalHold hold;
        fd = ::mkstemp(pattern.data());
        if (fd >= 0 && !kelvanto::registerTemporaryFile(pattern.c_str())) {
            ::close(fd);
            ::unlink(pattern.c_str());
            fd = -1;
            errno = EMFILE;
        }
    }
    if (fd < 0) {
        throw CommandError(target, std::strerror(errno));
    }
    temporary = pattern;
    // mkstemp makes the file private: a replaced file keeps its own mode, a new file gets the
    // mode any new file of the user gets.
    if (::fchmod(fd, mode >= 0 ? static_cast<mode_t>(mode) : newFileMode()) != 0) {
        const int error = errno;
        abandon();
        throw CommandError(target, std::strerror(error));
    }
}

OutputFile::~OutputFile() {
    abandon();
}

void OutputFile::abandon() noexcept {
    if (temporary.empty()) {
        return;
    }
    kelvanto::SignalHold hold;
    ::close(fd);
    ::unlink(temporary.c_str());
    kelvanto::forgetTemporaryFile(temporary.c_str());
    temporary.clear();
    fd = -1;
}

void OutputFile::write(std::string_view bytes) {
    if (buffer.size() + bytes.size() < bufferSize) {
        buffer.append(bytes);
        return;
    }
    // A large piece goes out as it is, after what was gathered before it.
    flush();
    put(bytes);
}

void OutputFile::replaceStart(std::string_view bytes) {
    flush();
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t count =
            ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            const int error = count == 0 ? EIO : errno;
            abandon();
            throw CommandError(target, std::strerror(error));
        }
        done += static_cast<std::size_t>(count);
    }
}

void OutputFile::flush() {
    put(buffer);
    buffer.clear();
}

void OutputFile::put(std::string_view bytes) {
    if (fd == STDOUT_FILENO) {
        // The report lines written before must come first; a reader that has gone ends the
        // run quietly (OutputClosed), as it does for cat.
        std::cout.flush();
        std::fflush(stdout);
        writeStandardOutput(bytes.data(), bytes.size());
        return;
    }
    if (!bytes.empty() && !writeAll(fd, bytes)) {
        const int error = errno;
        abandon();
        throw CommandError(target, std::strerror(error));
    }
}

void OutputFile::commit() {
    flush();
    if (temporary.empty()) {
        return;
    }
    const int closed = ::close(fd);
    fd = -1;
    int error = closed == 0 ? 0 : errno;
    kelvanto::SignalHold hold;
    if (error == 0) {
        error = kelvanto::placeFile(temporary, replaced, force);
    } else {
        ::unlink(temporary.c_str());
    }
    kelvanto::forgetTemporaryFile(temporary.c_str());
    temporary.clear();
    if (error == EEXIST) {
        throw CommandError(target, existsReason);
    }
    if (error != 0) {
        throw CommandError(target, std::strerror(error));
    }
}

void writeOutputFile(const std::string& name, const std::string& bytes, bool force,
                     const std::string& inputName) {
    checkOutputNames({{name, "the output"}},
                     inputName.empty() ? std::vector<std::string>{} : std::vector{inputName},
                     "the input file", force);
    OutputFile file(name, force);
    file.write(bytes);
    file.commit();
}
