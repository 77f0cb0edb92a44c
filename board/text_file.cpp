#include "board/text_file.h"

#include "board/device_write.h"
#include "board/errors.h"
#include "board/file_descriptor.h"
#include "board/file_name.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace board {

namespace {

// Large enough that the system calls cost nothing next to the copy; small enough that a
// file whose text ends early at a zero byte is not read on needlessly.
constexpr qsizetype kReadChunk = qsizetype(4) * 1024 * 1024;

// The first room for the text of a file that shows no size; such files are mostly small.
constexpr qsizetype kFirstUnsizedRoom = qsizetype(64) * 1024;

// As many links as the system itself follows in one name.
constexpr int kMaxLinkHops = 40;

} // namespace

// A new file beside the one it is to replace, removed again unless it was moved into place.
// (Outside the unnamed namespace: ContentReplacement holds one.)
class ReplacementFile {
public:
    // Leaves fd() < 0, with errno set, when no file can be created in folder.
    explicit ReplacementFile(const QByteArray &folder)
    {
        for (int attempt = 0; attempt < 100; ++attempt) {
            QByteArray name = folder;
            if (!name.endsWith('/'))
                name += '/';
            name +=
                ".board-save-" + QByteArray::number(QRandomGenerator::global()->generate64(), 36);
            // 0666 so that the umask decides, as for any new file.
            fd_.reset(::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
            if (fd_.get() >= 0) {
                path_ = name;
                return;
            }
            if (errno != EEXIST)
                return;
        }
    }
    ~ReplacementFile()
    {
        if (!path_.isEmpty())
            ::unlink(path_.constData());
    }
    ReplacementFile(const ReplacementFile &) = delete;
    ReplacementFile &operator=(const ReplacementFile &) = delete;

    int fd() const { return fd_.get(); }
    const QByteArray &path() const { return path_; }
    // Flushes the content to the disk and closes the file.
    bool finish() { return ::fsync(fd_.get()) == 0 && fd_.close(); }
    // Replaces target; errno is set when that fails.
    bool moveTo(const QByteArray &target)
    {
        if (::rename(path_.constData(), target.constData()) != 0)
            return false;
        path_.clear();
        return true;
    }

private:
    FileDescriptor fd_;
    QByteArray path_;
};

namespace {

QByteArray folderOf(const QByteArray &absoluteName)
{
    const qsizetype slash = absoluteName.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : absoluteName.left(slash);
}

void clearNonBlocking(int fd)
{
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0 && (flags & O_NONBLOCK))
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
}

// The file that name leads to through symbolic links, also when the last link names a file
// that is yet to be made; name itself when it is no link.
QByteArray followLinks(const QByteArray &name, const QString &absolute)
{
    if (char *resolved = ::realpath(name.constData(), nullptr)) {
        QByteArray target(resolved);
        std::free(resolved);
        return target;
    }
    QByteArray current = name;
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat info { };
        if (::lstat(current.constData(), &info) != 0 || !S_ISLNK(info.st_mode))
            return current;
        QByteArray link(PATH_MAX, Qt::Uninitialized);
        const ssize_t length = ::readlink(current.constData(), link.data(), size_t(link.size()));
        if (length < 0)
            throw cannotCreateFile(absolute, errno);
        link.truncate(length);
        // A relative link counts from the folder the link is in; the system resolves any
        // ".." in it the way it would through the link itself.
        current = link.startsWith('/') ? link : folderOf(current) + '/' + link;
    }
    throw cannotCreateFile(absolute, ELOOP);
}

// Whether a file that may be written, which could not be replaced for this reason, is to be
// overwritten where it is: its folder may not be written, the file is another user's in a
// sticky folder, or it is mounted over a file of its own (as containers mount some files).
bool writableInPlaceOnly(int errnum)
{
    return errnum == EACCES || errnum == EPERM || errnum == EBUSY;
}

// The regular file target opened for writing and emptied, to be overwritten where it is.
FileDescriptor openInPlace(const QByteArray &target, const QString &absolute)
{
    // Without waiting, in case a pipe took the file's place since it was looked at.
    FileDescriptor fd(::open(target.constData(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.get() < 0)
        throw cannotCreateFile(absolute, errno);
    struct stat info { };
    if (::fstat(fd.get(), &info) != 0)
        throw cannotCreateFile(absolute, errno);
    if (!S_ISREG(info.st_mode))
        throw cannotCreateFile(absolute, notARegularFile());
    clearNonBlocking(fd.get());
    if (::ftruncate(fd.get(), 0) != 0)
        throw cannotCreateFile(absolute, errno);
    return fd;
}

// Copies what was written to `from` into `to`, both open; false when a read or write fails.
bool copyContent(int from, int to)
{
    char chunk[65536];
    for (off_t at = 0;;) {
        const ssize_t n = ::pread(from, chunk, sizeof chunk, at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        if (!writeAll(to, QByteArrayView(chunk, n)))
            return false;
        at += n;
    }
}

} // namespace

bool writeAll(int fd, QByteArrayView bytes)
{
    const char *p = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        // A short count is no error of its own (a nearly full disk gives one); the next
        // write then says why it cannot go on.
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= n;
    }
    return true;
}

QString absoluteFilePath(const QString &path)
{
    return QDir::cleanPath(QDir::current().absoluteFilePath(path));
}

FileDescriptor openRegularFile(const QString &path)
{
    const QString absolute = absoluteFilePath(path);
    const QByteArray name = systemName(absolute);
    if (name.isNull())
        throw cannotOpenFile(absolute, EINVAL);
    // Looked at before it is opened: opening a serial device alone raises its control lines,
    // and opening a pipe lets a program waiting to write into it go on.
    struct stat info { };
    if (::stat(name.constData(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode))
        throw cannotOpenFile(absolute, notARegularFile());
    // Opened without waiting, in case that changed meanwhile: a pipe would wait for a writer,
    // a serial device for its carrier. Only a regular file is read, and reading one never
    // waits.
    FileDescriptor fd(::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.get() < 0)
        throw cannotOpenFile(absolute, errno);
    if (::fstat(fd.get(), &info) != 0)
        throw cannotOpenFile(absolute, errno);
    if (S_ISDIR(info.st_mode))
        throw cannotOpenFile(absolute, EISDIR);
    if (!S_ISREG(info.st_mode))
        throw cannotOpenFile(absolute, notARegularFile());
    clearNonBlocking(fd.get());
    return fd;
}

namespace {

// The bytes of the regular file at path, at most maxBytes + 1 of them; with stopAtZero up to
// its first zero byte.
QByteArray readRegularFile(const QString &path, qsizetype maxBytes, bool stopAtZero)
{
    const QString absolute = absoluteFilePath(path);
    const FileDescriptor fd = openRegularFile(path);
    struct stat info { };
    if (::fstat(fd.get(), &info) != 0)
        throw cannotOpenFile(absolute, errno);

    // One byte beyond maxBytes shows that the text is too long. A file that shows no size
    // (those of /proc and /sys make their text as it is read) is read to its end, the room
    // growing as it fills; any other is read up to its size, and that room costs address
    // space only until it is read into.
    const qsizetype limit = qsizetype(qint64(maxBytes) + 1);
    const bool sizeShown = info.st_size > 0;
    const qsizetype wanted = sizeShown ? qsizetype(std::min<qint64>(info.st_size, limit)) : limit;
    QByteArray text(sizeShown ? wanted : std::min(wanted, kFirstUnsizedRoom), Qt::Uninitialized);
    qsizetype used = 0;
    while (used < wanted) {
        if (used == text.size())
            text.resize(std::min(wanted, text.size() * 2));
        const qsizetype room = std::min(text.size() - used, kReadChunk);
        const ssize_t n = ::read(fd.get(), text.data() + used, size_t(room));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw cannotOpenFile(absolute, errno);
        if (n == 0)
            break; // the end, or the file became shorter since it was opened
        const void *zero =
            stopAtZero ? std::memchr(text.constData() + used, 0, size_t(n)) : nullptr;
        if (zero) {
            text.truncate(static_cast<const char *>(zero) - text.constData());
            text.squeeze();
            return text;
        }
        used += n;
    }
    text.truncate(used);
    if (!sizeShown)
        text.squeeze();
    return text;
}

} // namespace

QByteArray readFileText(const QString &path, qsizetype maxBytes)
{
    QByteArray text = readRegularFile(path, maxBytes, true);
    if (text.size() > maxBytes)
        throw textExceedsCapacity();
    return text;
}

QByteArray readFileHead(const QString &path, qsizetype maxBytes)
{
    return readRegularFile(path, maxBytes, false);
}

struct ContentReplacement::State {
    QString absolute;
    QByteArray target;
    QByteArray folder;
    std::optional<ReplacementFile> file; // beside the target, renamed over it at the end
    FileDescriptor inPlace; // or the target itself, emptied
    bool device = false; // or a pipe or device, written at the end all at once
    bool exists = false;
    QByteArray deviceBytes;
};

ContentReplacement::ContentReplacement(const QString &path) : state_(std::make_unique<State>())
{
    State &s = *state_;
    s.absolute = absoluteFilePath(path);
    const QByteArray name = systemName(s.absolute);
    if (name.isNull())
        throw cannotCreateFile(s.absolute, EINVAL);
    s.target = followLinks(name, s.absolute);

    struct stat existing { };
    s.exists = ::stat(s.target.constData(), &existing) == 0;
    if (!s.exists && errno != ENOENT)
        throw cannotCreateFile(s.absolute, errno);
    if (s.exists) {
        if (S_ISDIR(existing.st_mode))
            throw cannotCreateFile(s.absolute, EISDIR);
        if (::faccessat(AT_FDCWD, s.target.constData(), W_OK, AT_EACCESS) != 0)
            throw cannotCreateFile(s.absolute, errno);
        // root may write anything; a file that nobody may write is still left as it is.
        if ((existing.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
            throw cannotCreateFile(s.absolute, EACCES);
        // Devices and pipes cannot be replaced by another file: they are written directly.
        if (!S_ISREG(existing.st_mode)) {
            s.device = true;
            return;
        }
    }

    s.folder = folderOf(s.target);
    s.file.emplace(s.folder);
    if (s.file->fd() < 0) {
        const int why = errno;
        s.file.reset();
        if (s.exists && writableInPlaceOnly(why)) {
            s.inPlace = openInPlace(s.target, s.absolute);
            return;
        }
        throw cannotCreateFile(s.absolute, why);
    }
    if (s.exists) {
        // Only root can hand the file back to another owner; anyone else keeps it as theirs.
        if (::fchown(s.file->fd(), existing.st_uid, existing.st_gid) != 0) { }
        ::fchmod(s.file->fd(), existing.st_mode & 07777);
    }
}

ContentReplacement::~ContentReplacement() = default;

void ContentReplacement::write(QByteArrayView bytes)
{
    State &s = *state_;
    if (s.device)
        s.deviceBytes += bytes;
    else if (!writeAll(s.file ? s.file->fd() : s.inPlace.get(), bytes))
        throw streamWriteError();
}

void ContentReplacement::commit()
{
    State &s = *state_;
    if (s.device)
        return writeToDevice(s.target, s.absolute, s.deviceBytes);
    if (!s.file) {
        if (::fsync(s.inPlace.get()) != 0 || !s.inPlace.close())
            throw streamWriteError();
        return;
    }
    if (!s.file->finish())
        throw streamWriteError();
    if (!s.file->moveTo(s.target)) {
        if (s.exists && writableInPlaceOnly(errno)) {
            FileDescriptor target = openInPlace(s.target, s.absolute);
            const FileDescriptor written(::open(s.file->path().constData(), O_RDONLY | O_CLOEXEC));
            if (written.get() < 0 || !copyContent(written.get(), target.get())
                || ::fsync(target.get()) != 0 || !target.close())
                throw streamWriteError();
            return;
        }
        throw cannotCreateFile(s.absolute, errno);
    }

    // The new name is on disk only once the folder is.
    FileDescriptor dir(::open(s.folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0)
        ::fsync(dir.get());
}

void replaceFileContent(const QString &path, QByteArrayView bytes)
{
    ContentReplacement replacement(path);
    replacement.write(bytes);
    replacement.commit();
}

} // namespace board
