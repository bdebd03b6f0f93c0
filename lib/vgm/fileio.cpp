#include "vgm/fileio.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <vector>

namespace vgm {

namespace {

// The directory part of `path`, ending in '/', or "" for a bare name.
std::string directory_prefix(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool write_all(int fd, Bytes data) {
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// A temporary file beside `target`, removed again unless it was committed.
// The name is short whatever the length of the target's own name, so targets
// close to the file-name limit can still be written.
class TempFile {
public:
    explicit TempFile(const std::string& target) {
        std::string tmpl = directory_prefix(target) + ".tdl.XXXXXX";
        name_.assign(tmpl.begin(), tmpl.end());
        name_.push_back('\0');
        fd_ = mkstemp(name_.data());
        created_ = fd_ >= 0;
    }
    ~TempFile() {
        if (fd_ >= 0) ::close(fd_);
        if (created_ && !committed_) ::unlink(name_.data());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    bool opened() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    const char* name() const { return name_.data(); }

    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }
    // Renames the finished file over `target`.
    bool commit(const std::string& target) {
        if (std::rename(name_.data(), target.c_str()) != 0) return false;
        committed_ = true;
        return true;
    }

private:
    std::vector<char> name_;
    int fd_ = -1;
    bool created_ = false;
    bool committed_ = false;
};

}  // namespace

bool write_file_atomic(const std::string& path, Bytes data) {
    TempFile tmp(path);
    if (!tmp.opened()) return false;
    // mkstemp creates the file 0600; give it the usual mode for new files.
    const mode_t mask = umask(0);
    umask(mask);
    if (fchmod(tmp.fd(), 0666 & ~mask) != 0) return false;
    if (!write_all(tmp.fd(), data)) return false;
    if (!tmp.close()) return false;
    return tmp.commit(path);
}

bool gzip_compress(Bytes data, std::vector<uint8_t>& out) {
    out.clear();
    z_stream zs{};
    // Window bits 15 + 16: a gzip header and trailer around the deflate data.
    if (deflateInit2(&zs, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
    out.resize(deflateBound(&zs, static_cast<uLong>(data.size())) + 64);
    zs.next_in = const_cast<Bytef*>(data.data());
    zs.avail_in = static_cast<uInt>(data.size());
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    int rc;
    while ((rc = deflate(&zs, Z_FINISH)) == Z_OK) {
        // deflateBound should leave room enough; grow if it ever does not.
        const size_t used = out.size() - zs.avail_out;
        out.resize(out.size() * 2);
        zs.next_out = out.data() + used;
        zs.avail_out = static_cast<uInt>(out.size() - used);
    }
    const bool ok = rc == Z_STREAM_END;
    out.resize(ok ? zs.total_out : 0);
    deflateEnd(&zs);
    return ok;
}

bool replace_file(const std::string& path, Bytes data, Compression compression) {
    // Through a symbolic link the file it names is the one to replace.
    std::string target = path;
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) return false;
    if (S_ISLNK(st.st_mode)) {
        char* real = realpath(path.c_str(), nullptr);
        if (!real) return false;
        target = real;
        free(real);
        if (stat(target.c_str(), &st) != 0) return false;
    }
    if (!S_ISREG(st.st_mode)) return false;

    std::vector<uint8_t> packed;
    if (compression == Compression::Gzip) {
        if (!gzip_compress(data, packed)) return false;
        data = packed;
    }

    TempFile tmp(target);
    if (!tmp.opened()) return false;
    if (!write_all(tmp.fd(), data)) return false;
    if (fsync(tmp.fd()) != 0) return false;
    // Keep the owner where allowed (it is when the caller owns the file or is
    // root); the mode is kept in every case.
    if (fchown(tmp.fd(), st.st_uid, st.st_gid) != 0) {
        // Not allowed to give the file away: it stays the caller's.
    }
    if (fchmod(tmp.fd(), st.st_mode & 07777) != 0) return false;
    if (!tmp.close()) return false;
    if (!tmp.commit(target)) return false;
    // Make the rename itself durable; the data is safe either way.
    const std::string dir = directory_prefix(target);
    const int dfd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (dfd >= 0) {
        fsync(dfd);
        ::close(dfd);
    }
    return true;
}

RenameResult rename_noreplace(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return RenameResult::Renamed;
    if (errno == EEXIST) return RenameResult::TargetExists;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return RenameResult::Failed;

    // The file system has no renameat2: a hard link is never made over an
    // existing name either.
    if (::link(from.c_str(), to.c_str()) != 0)
        return errno == EEXIST ? RenameResult::TargetExists : RenameResult::Failed;
    if (::unlink(from.c_str()) != 0) {
        ::unlink(to.c_str());
        return RenameResult::Failed;
    }
    return RenameResult::Renamed;
}

bool read_file(const std::string& path, std::vector<uint8_t>& out) {
    out.clear();
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    uint8_t buf[1 << 16];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

}  // namespace vgm
