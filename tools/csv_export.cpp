#include "tools/csv_export.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kalvenor {

namespace {

constexpr const char* lineEnd = "\r\n";

// umask can only be read by setting it. The program has one thread, so nothing creates a file
// in the instant the mask is 0.
mode_t currentUmask()
{
    mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

std::string parentDirectory(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

bool writeAll(int fd, const std::string& content)
{
    std::size_t done = 0;
    while (done < content.size()) {
        ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

std::string registerTableCsv(const std::vector<RegisterRow>& rows)
{
    std::string csv = "Adresse hex.;Adresse dez.;Wert hex.;Wert dez.";
    csv += lineEnd;
    for (const RegisterRow& row : rows) {
        csv += row[0] + ';' + row[1] + ';' + row[2] + ';' + row[3];
        csv += lineEnd;
    }
    return csv;
}

FileSaveResult saveFileReplacing(const std::string& path, const std::string& content)
{
    std::string target = path;
    struct stat info
    {
    };
    // Replacing a link by rename would cut it; a plain create writes through it instead.
    if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        if (char* resolved = ::realpath(path.c_str(), nullptr)) {
            target = resolved;
            std::free(resolved);
        }
    }

    bool replacing = false;
    if (::stat(target.c_str(), &info) == 0) {
        // A directory, device or pipe is nothing a rename should swap out.
        if (!S_ISREG(info.st_mode))
            return FileSaveResult::CannotCreate;
        // A rename needs only the directory to be writable; a write-protected file must still
        // refuse, as it would refuse being opened for writing.
        if (::access(target.c_str(), W_OK) != 0)
            return FileSaveResult::CannotCreate;
        replacing = true;
    }

    // A short fixed name, so that a file name near the length limit still leaves room for it.
    std::string temporary = parentDirectory(target) + "/.kalvenor-save-XXXXXX";
    int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return FileSaveResult::CannotCreate;

    auto fail = [&](bool open) {
        if (open)
            ::close(fd);
        ::unlink(temporary.c_str());
        return FileSaveResult::WriteFailed;
    };

    // mkstemp creates 0600; give the file the mode it would get from a plain create.
    mode_t mode = replacing ? (info.st_mode & 0777) : (0666 & ~currentUmask());
    if (::fchmod(fd, mode) != 0)
        return fail(true);
    if (replacing && ::fchown(fd, info.st_uid, info.st_gid) != 0) {
        // Only root may hand a file to another owner; otherwise the new file is simply ours.
    }

    if (!writeAll(fd, content) || ::fsync(fd) != 0)
        return fail(true);
    // close can report a deferred write error (NFS, quota); the descriptor is gone either way.
    if (::close(fd) != 0)
        return fail(false);
    if (::rename(temporary.c_str(), target.c_str()) != 0)
        return fail(false);
    return FileSaveResult::Saved;
}

} // namespace kalvenor
