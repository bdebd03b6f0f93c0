#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <csignal>
#include <string>

#include "dir_snapshot.h"
#include "tool_runner.h"
#include "vgm/fileio.h"

using namespace vgm;
using testvgm::ByteVec;
using testvgm::DirSnapshot;
using testvgm::snapshot_dir;
using testvgm::TempDir;

namespace {

ByteVec pattern(size_t n, uint8_t seed) {
    ByteVec v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
    return v;
}

mode_t mode_of(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

ByteVec gunzip(const ByteVec& in) {
    ByteVec out;
    z_stream zs{};
    EXPECT_EQ(inflateInit2(&zs, 15 + 16), Z_OK);
    zs.next_in = const_cast<Bytef*>(in.data());
    zs.avail_in = static_cast<uInt>(in.size());
    uint8_t buf[4096];
    int rc;
    do {
        zs.next_out = buf;
        zs.avail_out = sizeof buf;
        rc = inflate(&zs, Z_NO_FLUSH);
        out.insert(out.end(), buf, buf + (sizeof buf - zs.avail_out));
    } while (rc == Z_OK);
    EXPECT_EQ(rc, Z_STREAM_END);
    EXPECT_EQ(zs.avail_in, 0u) << "bytes after the gzip stream";
    inflateEnd(&zs);
    return out;
}

// While alive, files cannot grow past `limit` bytes: a write beyond it fails
// with EFBIG instead of raising SIGXFSZ, as on a full disk or quota.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t limit) {
        getrlimit(RLIMIT_FSIZE, &old_);
        old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit r = old_;
        r.rlim_cur = limit;
        setrlimit(RLIMIT_FSIZE, &r);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, old_handler_);
    }

private:
    rlimit old_{};
    void (*old_handler_)(int) = nullptr;
};

const std::string kLongName = std::string(246, 'n') + ".vgm";  // 250 characters

}  // namespace

TEST(FileIo, WriteFileAtomicCreatesAndReplaces) {
    TempDir dir;
    const mode_t mask = umask(022);
    for (const std::string& name : {std::string("out.vgm"), kLongName}) {
        SCOPED_TRACE(name.size());
        const ByteVec first = pattern(3000, 1), second = pattern(10, 2);
        ASSERT_TRUE(write_file_atomic(dir.file(name), first));
        EXPECT_EQ(dir.read(name), first);
        EXPECT_EQ(mode_of(dir.file(name)), 0644u);
        ASSERT_TRUE(write_file_atomic(dir.file(name), second));
        EXPECT_EQ(dir.read(name), second);
    }
    umask(mask);
    EXPECT_EQ(dir.list(), (std::vector<std::string>{kLongName, "out.vgm"}));
}

TEST(FileIo, WriteFileAtomicFailureLeavesDirectoryAsItWas) {
    TempDir dir;
    dir.write("out.vgm", pattern(100, 3));
    const DirSnapshot before = snapshot_dir(dir.path());
    {
        FileSizeLimit limit(4096);
        EXPECT_FALSE(write_file_atomic(dir.file("out.vgm"), pattern(64 * 1024, 4)));
        EXPECT_FALSE(write_file_atomic(dir.file("new.vgm"), pattern(64 * 1024, 4)));
    }
    EXPECT_EQ(snapshot_dir(dir.path()), before);
    // A directory that does not exist: nothing to write into.
    EXPECT_FALSE(write_file_atomic(dir.file("missing/out.vgm"), pattern(10, 5)));
    EXPECT_EQ(snapshot_dir(dir.path()), before);
}

TEST(FileIo, ReplaceFileKeepsModeAndCompression) {
    TempDir dir;
    const ByteVec old_bytes = pattern(500, 6), data = pattern(20000, 7);
    struct Case {
        std::string name;
        Compression compression;
        mode_t mode;
    };
    for (const Case& c : {Case{"plain.vgm", Compression::Plain, 0640}, Case{"packed.vgz", Compression::Gzip, 0604},
                          Case{kLongName, Compression::Plain, 0755}}) {
        SCOPED_TRACE(c.name);
        dir.write(c.name, old_bytes);
        ASSERT_EQ(chmod(dir.file(c.name).c_str(), c.mode), 0);
        ASSERT_TRUE(replace_file(dir.file(c.name), data, c.compression));
        const ByteVec stored = dir.read(c.name);
        if (c.compression == Compression::Gzip) {
            ASSERT_GE(stored.size(), 2u);
            EXPECT_EQ(stored[0], 0x1F);
            EXPECT_EQ(stored[1], 0x8B);
            EXPECT_LT(stored.size(), data.size());
            EXPECT_EQ(gunzip(stored), data);
        } else {
            EXPECT_EQ(stored, data);
        }
        EXPECT_EQ(mode_of(dir.file(c.name)), c.mode);
    }
    EXPECT_EQ(dir.list(), (std::vector<std::string>{kLongName, "packed.vgz", "plain.vgm"}));
}

TEST(FileIo, ReplaceFileFailureLeavesOriginal) {
    TempDir dir;
    dir.write("song.vgm", pattern(300, 8));
    ASSERT_EQ(chmod(dir.file("song.vgm").c_str(), 0600), 0);
    dir.write("other.vgm", pattern(40, 9));
    const DirSnapshot before = snapshot_dir(dir.path());
    {
        FileSizeLimit limit(4096);
        EXPECT_FALSE(replace_file(dir.file("song.vgm"), pattern(64 * 1024, 10), Compression::Plain));
        // Random bytes stay large when compressed.
        ByteVec noise(64 * 1024);
        uint32_t x = 12345;
        for (auto& b : noise) b = static_cast<uint8_t>((x = x * 1103515245u + 12345u) >> 24);
        EXPECT_FALSE(replace_file(dir.file("song.vgm"), noise, Compression::Gzip));
    }
    EXPECT_EQ(snapshot_dir(dir.path()), before);
    // There is nothing to replace when the file does not exist, nor when it
    // is not a regular file.
    EXPECT_FALSE(replace_file(dir.file("absent.vgm"), pattern(10, 11), Compression::Plain));
    ASSERT_EQ(mkdir(dir.file("sub").c_str(), 0755), 0);
    EXPECT_FALSE(replace_file(dir.file("sub"), pattern(10, 11), Compression::Plain));
    DirSnapshot after = snapshot_dir(dir.path());
    after.erase("sub");
    EXPECT_EQ(after, before);
}

TEST(FileIo, ReplaceFileThroughSymlinkReplacesTheTarget) {
    TempDir dir;
    dir.write("real.vgm", pattern(50, 12));
    ASSERT_EQ(symlink("real.vgm", dir.file("link.vgm").c_str()), 0);
    const ByteVec data = pattern(70, 13);
    ASSERT_TRUE(replace_file(dir.file("link.vgm"), data, Compression::Plain));
    struct stat st {};
    ASSERT_EQ(lstat(dir.file("link.vgm").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(dir.read("real.vgm"), data);
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"link.vgm", "real.vgm"}));
}

TEST(FileIo, RenameNoreplace) {
    TempDir dir;
    const ByteVec a = pattern(30, 14), b = pattern(31, 15);
    dir.write("a.vgm", a);
    dir.write("b.vgm", b);
    const DirSnapshot before = snapshot_dir(dir.path());

    // A taken name is never replaced, whichever way round.
    EXPECT_EQ(rename_noreplace(dir.file("a.vgm"), dir.file("b.vgm")), RenameResult::TargetExists);
    EXPECT_EQ(rename_noreplace(dir.file("b.vgm"), dir.file("a.vgm")), RenameResult::TargetExists);
    EXPECT_EQ(rename_noreplace(dir.file("a.vgm"), dir.file("a.vgm")), RenameResult::TargetExists);
    EXPECT_EQ(rename_noreplace(dir.file("absent.vgm"), dir.file("c.vgm")), RenameResult::Failed);
    EXPECT_EQ(rename_noreplace(dir.file("a.vgm"), dir.file("missing/c.vgm")), RenameResult::Failed);
    EXPECT_EQ(snapshot_dir(dir.path()), before);

    ASSERT_EQ(rename_noreplace(dir.file("a.vgm"), dir.file(kLongName)), RenameResult::Renamed);
    DirSnapshot expected = before;
    expected[kLongName] = expected["a.vgm"];
    expected.erase("a.vgm");
    EXPECT_EQ(snapshot_dir(dir.path()), expected);
}
