#include "dir_snapshot.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstdio>
#include <stdexcept>

namespace testvgm {

DirSnapshot snapshot_dir(const std::string& dir) {
    DirSnapshot snap;
    DIR* d = opendir(dir.c_str());
    if (!d) throw std::runtime_error("cannot open directory " + dir);
    while (const dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        const std::string path = dir + "/" + name;
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0) continue;
        EntryState s;
        s.size = st.st_size;
        s.mode = st.st_mode;
        if (S_ISREG(st.st_mode)) {
            if (FILE* f = std::fopen(path.c_str(), "rb")) {
                uint8_t buf[65536];
                size_t n;
                while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.contents.insert(s.contents.end(), buf, buf + n);
                std::fclose(f);
            }
        }
        snap[name] = std::move(s);
    }
    closedir(d);
    return snap;
}

}  // namespace testvgm
