#include "board/text_file.h"

#include "board/errors.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace board {

namespace {

// Closes a file descriptor when it goes out of scope.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;

    int get() const { return fd_; }
    void reset(int fd)
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }
    // Closes now. A file system may report a delayed write error only here.
    bool close()
    {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

// A new file beside the one it is to replace, removed again unless it was moved into place.
class ReplacementFile {
public:
    // Leaves fd() < 0, with errno set, when no file can be created in folder.
    explicit ReplacementFile(const QByteArray &folder)
    {
        for (int attempt = 0; attempt < 100; ++attempt) {
            QByteArray name = folder;
            if (!name.endsWith('/'))
                name += '/';
            name += ".board-save-" + QByteArray::number(QRandomGenerator::global()->generate64(), 36);
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

// The name as the system calls take it; a null array when it holds a zero byte, which no
// file name can.
QByteArray systemName(const QString &absolute)
{
    const QByteArray name = QFile::encodeName(absolute);
    return name.contains('\0') ? QByteArray() : name;
}

QByteArray folderOf(const QByteArray &absoluteName)
{
    const qsizetype slash = absoluteName.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : absoluteName.left(slash);
}

// Devices and pipes cannot be replaced by another file: they are written directly.
void writeInPlace(const QByteArray &name, const QString &absolute, QByteArrayView bytes)
{
    FileDescriptor fd(::open(name.constData(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0)
        throw cannotCreateFile(absolute, errno);
    if (!writeAll(fd.get(), bytes) || !fd.close())
        throw streamWriteError();
}

} // namespace

QString absoluteFilePath(const QString &path)
{
    return QDir::cleanPath(QDir::current().absoluteFilePath(path));
}

QByteArray readWholeFile(const QString &path, qsizetype maxBytes)
{
    const QString absolute = absoluteFilePath(path);
    const QByteArray name = systemName(absolute);
    if (name.isNull())
        throw cannotOpenFile(absolute, EINVAL);
    FileDescriptor fd(::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0)
        throw cannotOpenFile(absolute, errno);
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0)
        throw cannotOpenFile(absolute, errno);

    // A regular file is read to its length at the time of opening; anything else, whose
    // length is not known beforehand, to its end.
    const bool regular = S_ISREG(info.st_mode);
    if (regular && info.st_size > maxBytes)
        throw textExceedsCapacity();
    QByteArray bytes(regular ? qsizetype(info.st_size) : 0, Qt::Uninitialized);
    qsizetype used = 0;
    for (;;) {
        if (used == bytes.size()) {
            if (regular)
                break;
            if (used > maxBytes)
                throw textExceedsCapacity();
            bytes.resize(std::min(std::max<qsizetype>(2 * used, 64 * 1024), maxBytes + 1));
        }
        const ssize_t n = ::read(fd.get(), bytes.data() + used, size_t(bytes.size() - used));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw cannotOpenFile(absolute, errno);
        if (n == 0)
            break;
        used += n;
    }
    bytes.truncate(used);
    return bytes;
}

void replaceFileContent(const QString &path, QByteArrayView bytes)
{
    const QString absolute = absoluteFilePath(path);
    QByteArray target = systemName(absolute);
    if (target.isNull())
        throw cannotCreateFile(absolute, EINVAL);
    // Through a symbolic link the file it names is replaced, and the link stays.
    if (char *resolved = ::realpath(target.constData(), nullptr)) {
        target = resolved;
        std::free(resolved);
    }

    struct stat existing {};
    const bool exists = ::stat(target.constData(), &existing) == 0;
    if (!exists && errno != ENOENT)
        throw cannotCreateFile(absolute, errno);
    if (exists) {
        if (S_ISDIR(existing.st_mode))
            throw cannotCreateFile(absolute, EISDIR);
        if (::faccessat(AT_FDCWD, target.constData(), W_OK, AT_EACCESS) != 0)
            throw cannotCreateFile(absolute, errno);
        // root may write anything; a file that nobody may write is still left as it is.
        if ((existing.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
            throw cannotCreateFile(absolute, EACCES);
        if (!S_ISREG(existing.st_mode)) {
            writeInPlace(target, absolute, bytes);
            return;
        }
    }

    const QByteArray folder = folderOf(target);
    ReplacementFile file(folder);
    if (file.fd() < 0)
        throw cannotCreateFile(absolute, errno);
    if (exists) {
        // Only root can hand the file back to another owner; anyone else keeps it as theirs.
        if (::fchown(file.fd(), existing.st_uid, existing.st_gid) != 0) {
        }
        ::fchmod(file.fd(), existing.st_mode & 07777);
    }
    if (!writeAll(file.fd(), bytes) || !file.finish())
        throw streamWriteError();
    if (!file.moveTo(target))
        throw cannotCreateFile(absolute, errno);

    // The new name is on disk only once the folder is.
    FileDescriptor dir(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0)
        ::fsync(dir.get());
}

} // namespace board
