#include "cli/Files.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cli {

namespace fs = std::filesystem;

namespace {

std::string errnoText(int err) { return std::string("(") + std::strerror(err) + ")"; }

// The absolute name of `p` with every existing link and "." / ".." resolved;
// a link that points at nothing yet is followed to the name it points at, so
// that writing through it is recognised as writing to that name.
fs::path resolved(const std::string& p)
{
    std::error_code ec;
    fs::path cur = fs::absolute(p, ec);
    if (ec)
        return fs::path(p);
    for (int hops = 0; hops < 40; ++hops) {
        const fs::path canon = fs::weakly_canonical(cur, ec);
        if (ec)
            return cur.lexically_normal();
        if (!fs::is_symlink(fs::symlink_status(canon, ec)))
            return canon;
        const fs::path target = fs::read_symlink(canon, ec);
        if (ec)
            return canon;
        cur = target.is_absolute() ? target : canon.parent_path() / target;
    }
    return cur.lexically_normal();
}

} // namespace

std::string sizeText(size_t bytes)
{
    if (bytes >= (1u << 20) && bytes % (1u << 20) == 0)
        return std::to_string(bytes >> 20) + " MiB";
    if (bytes >= 1024 && bytes % 1024 == 0)
        return std::to_string(bytes >> 10) + " KiB";
    return std::to_string(bytes) + " bytes";
}

bool readTextFile(const std::string& path, size_t maxBytes, std::string* text, std::string* why)
{
    auto fail = [&](const std::string& w) {
        if (why)
            *why = w;
        return false;
    };
    if (path.empty())
        return fail("no file name given");
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return fail("cannot be read " + errnoText(errno));
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        return fail("cannot be read " + errnoText(err));
    }
    if (S_ISDIR(st.st_mode)) {
        ::close(fd);
        return fail("is a folder, not a file");
    }
    // Back to blocking reads (the open was non-blocking only so that a FIFO
    // without a writer cannot hang it).
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    const std::string tooLarge = "is larger than " + sizeText(maxBytes);
    if (S_ISREG(st.st_mode) && static_cast<unsigned long long>(st.st_size) > maxBytes) {
        ::close(fd);
        return fail(tooLarge);
    }
    std::string buf;
    try {
        if (S_ISREG(st.st_mode))
            buf.reserve(static_cast<size_t>(st.st_size));
        char chunk[65536];
        for (;;) {
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                const int err = errno;
                ::close(fd);
                return fail("cannot be read " + errnoText(err));
            }
            if (n == 0)
                break;
            if (buf.size() + static_cast<size_t>(n) > maxBytes) {
                ::close(fd);
                return fail(tooLarge);
            }
            buf.append(chunk, static_cast<size_t>(n));
        }
    } catch (const std::bad_alloc&) {
        ::close(fd);
        return fail("is too large for the available memory");
    }
    ::close(fd);
    *text = std::move(buf);
    return true;
}

std::string_view withoutBom(std::string_view text)
{
    if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    return text;
}

bool sameFile(const std::string& a, const std::string& b)
{
    if (a.empty() || b.empty())
        return false;
    struct stat sa, sb;
    if (::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0)
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    return resolved(a) == resolved(b);
}

std::string outputNameProblem(const std::string& name)
{
    if (name.empty())
        return "the file name is empty";
    if (name.back() == '/')
        return "the name ends with '/': give a file name, not a folder";
    std::error_code ec;
    if (fs::is_directory(name, ec))
        return "is a folder: give a file name";
    return std::string();
}

std::string outputOverInput(const std::vector<std::string>& outputs, const std::vector<std::string>& inputs)
{
    for (const std::string& out : outputs)
        for (const std::string& in : inputs)
            if (sameFile(out, in))
                return out + " is the input " + in + ": it would be overwritten";
    return std::string();
}

} // namespace cli
