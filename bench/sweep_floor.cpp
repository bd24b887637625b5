// The bare-metal floor of a two-level measure: for every file directly inside FOLDER or
// directly inside one of its sub-folders, one openat, one fstat and one close, the
// listing read with readdir. Prints the total size. Plain C, compiled as C++ with the rest.
//   sweep_floor FOLDER
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static int skip(const char *name) {
    return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

// Adds the size of each file in the folder `fd` to *total; with `descend`, the files of
// each sub-folder too.
static void measure(int fd, int descend, unsigned long long *total) {
    DIR *dir = fdopendir(fd);
    if (!dir) {
        close(fd);
        return;
    }
    struct dirent *entry;
    while ((entry = readdir(dir))) {
        if (skip(entry->d_name)) continue;
        if (entry->d_type == DT_DIR) {
            if (!descend) continue;
            int sub = openat(dirfd(dir), entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub >= 0) measure(sub, 0, total);
            continue;
        }
        int file = openat(dirfd(dir), entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (file < 0) continue;
        struct stat info;
        if (fstat(file, &info) == 0 && S_ISREG(info.st_mode)) *total += (unsigned long long)info.st_size;
        close(file);
    }
    closedir(dir);
}

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: sweep_floor FOLDER\n");
        return 2;
    }
    int fd = open(argv[1], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        perror(argv[1]);
        return 1;
    }
    unsigned long long total = 0;
    measure(fd, 1, &total);
    printf("%llu\n", total);
    return 0;
}
