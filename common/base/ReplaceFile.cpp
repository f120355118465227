#include "base/ReplaceFile.h"

#include "base/Path.h"

#include <atomic>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace base {

namespace {

std::string systemReason(const std::string& what, int err)
{
    return what + " (" + std::strerror(err) + ")";
}

} // namespace

bool writeAll(int fd, const void* data, size_t size)
{
    const char* p = static_cast<const char*>(data);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, p + done, size - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

bool replaceFile(const std::string& path, const ContentWriter& write, std::string* error)
{
    auto fail = [&](const std::string& why) {
        if (error)
            *error = why;
        return false;
    };
    if (path.empty())
        return fail("no file name given");
    if (!path.empty() && path.back() == '/')
        return fail("names a folder, not a file");
    if (isFolder(path))
        return fail("is a folder");

    // A name of this process and call: two writers of the same target never
    // share a temporary file, and O_EXCL refuses a name that exists already
    // (a leftover, or a link planted to redirect the write).
    static std::atomic<unsigned> counter{0};
    const std::string tmp =
        path + ".tmp-" + std::to_string(static_cast<long>(::getpid())) + "-" + std::to_string(++counter);
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return fail(systemReason("cannot create a temporary file in " + folderOf(path), errno));

    // From here on every failure removes the temporary file and keeps the
    // reason of the first error.
    auto abandon = [&](const std::string& why, bool open) {
        if (open)
            ::close(fd);
        ::unlink(tmp.c_str());
        return fail(why);
    };
    std::string why;
    errno = 0;
    if (!write(fd, &why)) {
        const int err = errno;
        if (why.empty())
            why = err != 0 ? systemReason("cannot be written", err) : "cannot be written";
        return abandon(why, true);
    }
    // A file that is replaced keeps its permissions (a document shared with a
    // group stays shared); a new file has 0666 minus the umask.
    struct stat old;
    if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode) && ::fchmod(fd, old.st_mode & 07777) != 0)
        return abandon(systemReason("cannot keep the permissions", errno), true);
    if (::fsync(fd) != 0)
        return abandon(systemReason("cannot be written to disk", errno), true);
    if (::close(fd) != 0)
        return abandon(systemReason("cannot be written to disk", errno), false);
    if (::rename(tmp.c_str(), path.c_str()) != 0)
        return abandon(systemReason("cannot be replaced", errno), false);
    // The rename itself reaches the disk with the folder's entry. The file is
    // complete either way: a folder that cannot be flushed is not an error.
    const int dir = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

bool replaceFile(const std::string& path, const void* data, size_t size, std::string* error)
{
    return replaceFile(
        path,
        [&](int fd, std::string* why) {
            if (writeAll(fd, data, size))
                return true;
            *why = systemReason("cannot be written", errno);
            return false;
        },
        error);
}

bool replaceFile(const std::string& path, const std::string& content, std::string* error)
{
    return replaceFile(path, content.data(), content.size(), error);
}

} // namespace base
