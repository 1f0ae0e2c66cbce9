/* slowfs: a read-only FUSE mirror of a source folder whose every getattr
 * (which is also how a name is looked up), open, read and readdir waits a
 * fixed delay before it answers, as a request to a file server on the network
 * would. bench/nas.sh mounts it to time a folder scan behind that latency.
 *
 *   slowfs [--delay-us N] [--mode cache|direct] [--threads N] SOURCE MOUNTPOINT
 *
 * Built by bench/nas.sh, or by hand (libfuse3-dev and pkg-config):
 *   cc -O2 -o slowfs bench/slowfs.c $(pkg-config --cflags --libs fuse3)
 * The delay defaults to 500 us and the mode to cache.
 *
 * It mounts, then runs in the background until MOUNTPOINT is unmounted
 * (fusermount3 -u MOUNTPOINT) or it gets SIGINT, SIGTERM or SIGHUP. Exit
 * status: 0 mounted (the mirror is ready when slowfs returns), 1 the mount was
 * refused or SOURCE cannot be opened, 2 bad usage.
 *
 * Nothing is remembered by the kernel between requests: names and attributes
 * time out at once, so every path walk asks again, and every open drops what
 * the page cache holds of the file. Mode "cache" keeps the pages a file read
 * brought in until the file is opened again (reads go through the page cache
 * and its read-ahead); mode "direct" sends every read() to the mirror as it is.
 *
 * The mirror holds one descriptor for the source folder and one per open
 * directory; each read opens the file relative to the source folder and closes
 * it again, so no number of open files on the mount can exhaust descriptors.
 * Requests run on up to --threads threads (64 by default), so that many wait
 * out their delay side by side.
 */
#define FUSE_USE_VERSION 312
#define _GNU_SOURCE

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <fuse.h>
#include <limits.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <time.h>
#include <unistd.h>

static int source_fd = -1;
static long delay_us = 500;
static int direct = 0;

/* The wait of one request. The timer slack is set to 1 ns in main, and every
 * worker thread inherits it, so the wait is not stretched by up to 50 us. */
static void wait_delay(void)
{
    if (delay_us <= 0)
        return;
    struct timespec left = {delay_us / 1000000, (delay_us % 1000000) * 1000};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {}
}

/* The path below the source folder: "/a/b" is "a/b", "/" is ".". */
static const char* relative(const char* path)
{
    while (*path == '/')
        ++path;
    return *path ? path : ".";
}

static void* slow_init(struct fuse_conn_info* conn, struct fuse_config* cfg)
{
    cfg->entry_timeout = 0;
    cfg->attr_timeout = 0;
    cfg->negative_timeout = 0;
    cfg->use_ino = 1;
    cfg->kernel_cache = 0;
    cfg->auto_cache = 0;
    cfg->direct_io = direct;
    /* Names only from readdir: the attributes of each name cost a request of
     * their own, as they do on a server that sends no attributes with a listing. */
    conn->want &= ~FUSE_CAP_READDIRPLUS;
    /* The kernel sends page reads in the background; let as many wait at once
     * as there are threads to wait on them. */
    conn->max_background = 128;
    conn->congestion_threshold = 96;
    return NULL;
}

static int slow_getattr(const char* path, struct stat* st, struct fuse_file_info* fi)
{
    (void)fi;
    wait_delay();
    return fstatat(source_fd, relative(path), st, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : -errno;
}

static int slow_readlink(const char* path, char* buf, size_t size)
{
    const ssize_t n = readlinkat(source_fd, relative(path), buf, size - 1);
    if (n < 0)
        return -errno;
    buf[n] = '\0';
    return 0;
}

static int slow_open(const char* path, struct fuse_file_info* fi)
{
    wait_delay();
    if ((fi->flags & O_ACCMODE) != O_RDONLY)
        return -EROFS;
    const int fd = openat(source_fd, relative(path), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -errno;
    close(fd);
    fi->keep_cache = 0;
    fi->direct_io = direct;
    return 0;
}

static int slow_read(const char* path, char* buf, size_t size, off_t offset, struct fuse_file_info* fi)
{
    (void)fi;
    wait_delay();
    const int fd = openat(source_fd, relative(path), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -errno;
    size_t done = 0;
    while (done < size) {
        const ssize_t n = pread(fd, buf + done, size - done, offset + (off_t)done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            close(fd);
            return -error;
        }
        if (n == 0)
            break;
        done += (size_t)n;
    }
    close(fd);
    return (int)done;
}

static int slow_statfs(const char* path, struct statvfs* st)
{
    (void)path;
    return fstatvfs(source_fd, st) == 0 ? 0 : -errno;
}

/* An open directory: its stream, the offset the stream stands at, and the
 * entry read from it that did not fit in the last reply. */
struct open_dir {
    DIR* stream;
    off_t offset;
    struct dirent* pending;
};

static int slow_opendir(const char* path, struct fuse_file_info* fi)
{
    const int fd = openat(source_fd, relative(path), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return -errno;
    struct open_dir* dir = calloc(1, sizeof *dir);
    if (!dir || !(dir->stream = fdopendir(fd))) {
        const int error = dir ? errno : ENOMEM;
        free(dir);
        close(fd);
        return -error;
    }
    fi->fh = (uint64_t)(uintptr_t)dir;
    return 0;
}

static int slow_readdir(const char* path, void* buf, fuse_fill_dir_t fill, off_t offset, struct fuse_file_info* fi,
                        enum fuse_readdir_flags flags)
{
    (void)path;
    (void)flags;
    wait_delay();
    struct open_dir* dir = (struct open_dir*)(uintptr_t)fi->fh;
    if (offset != dir->offset) {
        seekdir(dir->stream, offset);
        dir->pending = NULL;
        dir->offset = offset;
    }
    for (;;) {
        if (!dir->pending) {
            errno = 0;
            dir->pending = readdir(dir->stream);
            if (!dir->pending)
                return errno ? -errno : 0;
        }
        struct stat st;
        memset(&st, 0, sizeof st);
        st.st_ino = dir->pending->d_ino;
        st.st_mode = (mode_t)DTTOIF(dir->pending->d_type);
        const off_t next = telldir(dir->stream);
        if (fill(buf, dir->pending->d_name, &st, next, 0))
            return 0; /* the reply is full: this entry goes first in the next */
        dir->pending = NULL;
        dir->offset = next;
    }
}

static int slow_releasedir(const char* path, struct fuse_file_info* fi)
{
    (void)path;
    struct open_dir* dir = (struct open_dir*)(uintptr_t)fi->fh;
    closedir(dir->stream);
    free(dir);
    return 0;
}

static const struct fuse_operations operations = {
    .init = slow_init,
    .getattr = slow_getattr,
    .readlink = slow_readlink,
    .open = slow_open,
    .read = slow_read,
    .statfs = slow_statfs,
    .opendir = slow_opendir,
    .readdir = slow_readdir,
    .releasedir = slow_releasedir,
};

static int usage(void)
{
    fprintf(stderr, "usage: slowfs [--delay-us N] [--mode cache|direct] [--threads N] SOURCE MOUNTPOINT\n");
    return 2;
}

static int number(const char* text, long low, long high, long* value)
{
    char* end = NULL;
    errno = 0;
    const long n = strtol(text, &end, 10);
    if (errno || end == text || *end || n < low || n > high)
        return 0;
    *value = n;
    return 1;
}

int main(int argc, char** argv)
{
    const char* source = NULL;
    const char* mountpoint = NULL;
    long threads = 64;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (strcmp(arg, "--delay-us") == 0 && i + 1 < argc) {
            if (!number(argv[++i], 0, 10000000, &delay_us))
                return usage();
        } else if (strcmp(arg, "--threads") == 0 && i + 1 < argc) {
            if (!number(argv[++i], 1, 1024, &threads))
                return usage();
        } else if (strcmp(arg, "--mode") == 0 && i + 1 < argc) {
            const char* mode = argv[++i];
            if (strcmp(mode, "cache") == 0)
                direct = 0;
            else if (strcmp(mode, "direct") == 0)
                direct = 1;
            else
                return usage();
        } else if (arg[0] != '-' && !source) {
            source = arg;
        } else if (arg[0] != '-' && !mountpoint) {
            mountpoint = arg;
        } else {
            return usage();
        }
    }
    if (!source || !mountpoint)
        return usage();

    source_fd = open(source, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (source_fd < 0) {
        fprintf(stderr, "slowfs: %s: %s\n", source, strerror(errno));
        return 1;
    }
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);

    char* fuse_argv[] = {argv[0], "-o", "ro,fsname=slowfs,subtype=slowfs", NULL};
    struct fuse_args args = FUSE_ARGS_INIT(3, fuse_argv);
    struct fuse* fuse = fuse_new(&args, &operations, sizeof operations, NULL);
    if (!fuse)
        return 1;
    if (fuse_mount(fuse, mountpoint) != 0) {
        fuse_destroy(fuse);
        return 1;
    }
    /* From here the mount stands: the caller goes on while the mirror serves. */
    if (fuse_daemonize(0) != 0 || fuse_set_signal_handlers(fuse_get_session(fuse)) != 0) {
        fuse_unmount(fuse);
        fuse_destroy(fuse);
        return 1;
    }
    struct fuse_loop_config* loop = fuse_loop_cfg_create();
    fuse_loop_cfg_set_max_threads(loop, (unsigned)threads);
    fuse_loop_cfg_set_idle_threads(loop, (unsigned)threads);
    const int status = fuse_loop_mt(fuse, loop);
    fuse_loop_cfg_destroy(loop);
    fuse_remove_signal_handlers(fuse_get_session(fuse));
    fuse_unmount(fuse);
    fuse_destroy(fuse);
    return status == 0 ? 0 : 1;
}
