// Watches the file writes of a fuzzer's process: while a harness runs, opening a file for writing,
// creating, renaming, linking or removing anything outside the scratch folder is a finding. The
// C library's functions are wrapped here in the fuzzer alone (the sanitizer runtime's own wrappers are
// weak and step aside); the real ones are reached through the dynamic linker.
#undef _FILE_OFFSET_BITS
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

static volatile int g_on = 0;
static char g_allowed[PATH_MAX];

void bd_fuzz_guard_writes(const char* allowedFolder, int on) {
    if (on && g_allowed[0] == 0) {
        strncpy(g_allowed, allowedFolder, sizeof g_allowed - 2);
        strcat(g_allowed, "/");
    }
    g_on = on;
}

// The path as an absolute one without "." and "..", relative to the folder dirfd names.
static void absolutePath(int dirfd, const char* path, char* out) {
    char joined[PATH_MAX * 2];
    if (path[0] == '/') {
        snprintf(joined, sizeof joined, "%s", path);
    } else {
        char base[PATH_MAX] = "";
        if (dirfd == AT_FDCWD) {
            if (!getcwd(base, sizeof base)) base[0] = 0;
        } else {
            char link[64];
            snprintf(link, sizeof link, "/proc/self/fd/%d", dirfd);
            const ssize_t n = readlink(link, base, sizeof base - 1);
            base[n > 0 ? n : 0] = 0;
        }
        snprintf(joined, sizeof joined, "%s/%s", base, path);
    }
    // Lexical clean-up, then the folder resolved where it exists (a link in it leads elsewhere).
    char clean[PATH_MAX * 2];
    size_t len = 0;
    for (const char* p = joined; *p;) {
        while (*p == '/')
            ++p;
        const char* e = p;
        while (*e && *e != '/')
            ++e;
        const size_t n = (size_t)(e - p);
        if (n == 0 || (n == 1 && p[0] == '.')) {
        } else if (n == 2 && p[0] == '.' && p[1] == '.') {
            while (len > 0 && clean[len - 1] != '/')
                --len;
            if (len > 0) --len;
        } else if (len + n + 2 < sizeof clean) {
            clean[len++] = '/';
            memcpy(clean + len, p, n);
            len += n;
        }
        p = e;
    }
    clean[len] = 0;
    if (len == 0) strcpy(clean, "/");
    char* slash = strrchr(clean, '/');
    char folder[PATH_MAX];
    if (slash && slash != clean) {
        *slash = 0;
        if (realpath(clean, folder)) {
            snprintf(out, PATH_MAX, "%s/%s", folder, slash + 1);
            return;
        }
        *slash = '/';
    }
    snprintf(out, PATH_MAX, "%s", clean);
}

static int startsWith(const char* s, const char* prefix) {
    return strncmp(s, prefix, strlen(prefix)) == 0;
}

// The fuzzer's own finding files, written while a harness runs when it crashes: in the folder that
// BD_FUZZ_FINDINGS names (.ci/test passes it as -artifact_prefix), else in the current folder.
static int isFindingFile(const char* abs) {
    const char* findings = getenv("BD_FUZZ_FINDINGS");
    if (findings && *findings) return startsWith(abs, findings);
    const char* base = strrchr(abs, '/') + 1;
    static const char* const kinds[] = {"crash-", "leak-", "timeout-", "oom-", "slow-unit-"};
    for (size_t i = 0; i < sizeof kinds / sizeof *kinds; ++i)
        if (startsWith(base, kinds[i])) return 1;
    return 0;
}

static void check(int dirfd, const char* path, const char* what) {
    if (!g_on || !path) return;
    char abs[PATH_MAX];
    absolutePath(dirfd, path, abs);
    // The folder itself (a file created in it without a name, O_TMPFILE) or anything inside it.
    if (startsWith(abs, g_allowed) ||
        (strlen(abs) + 1 == strlen(g_allowed) && strncmp(abs, g_allowed, strlen(abs)) == 0) ||
        strcmp(abs, "/dev/null") == 0 || isFindingFile(abs))
        return;
    g_on = 0; // the fuzzer writes the input that did it
    fprintf(stderr, "\n== fuzz contract broken: %s \"%s\" outside the scratch folder %s\n", what, abs,
            g_allowed);
    fflush(stderr);
    abort();
}

static int writes(int flags) {
    return (flags & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC | O_APPEND)) != 0;
}

static int writesMode(const char* mode) {
    return mode && (strchr(mode, 'w') || strchr(mode, 'a') || strchr(mode, '+'));
}

// The C library's function of that name, looked up once.
#define REAL(name, type)                                                                                     \
    ({                                                                                                       \
        static __typeof__(type) real_;                                                                       \
        if (!real_) real_ = (type)dlsym(RTLD_NEXT, #name);                                                   \
        real_;                                                                                               \
    })

#define OPEN_LIKE(name)                                                                                      \
    int name(const char* path, int flags, ...) {                                                             \
        mode_t mode = 0;                                                                                     \
        if (flags & (O_CREAT | __O_TMPFILE)) {                                                               \
            va_list ap;                                                                                      \
            va_start(ap, flags);                                                                             \
            mode = va_arg(ap, mode_t);                                                                       \
            va_end(ap);                                                                                      \
        }                                                                                                    \
        if (writes(flags)) check(AT_FDCWD, path, "opening for writing");                                     \
        return REAL(name, int (*)(const char*, int, ...))(path, flags, mode);                                \
    }
OPEN_LIKE(open)
OPEN_LIKE(open64)

#define OPENAT_LIKE(name)                                                                                    \
    int name(int dirfd, const char* path, int flags, ...) {                                                  \
        mode_t mode = 0;                                                                                     \
        if (flags & (O_CREAT | __O_TMPFILE)) {                                                               \
            va_list ap;                                                                                      \
            va_start(ap, flags);                                                                             \
            mode = va_arg(ap, mode_t);                                                                       \
            va_end(ap);                                                                                      \
        }                                                                                                    \
        if (writes(flags)) check(dirfd, path, "opening for writing");                                        \
        return REAL(name, int (*)(int, const char*, int, ...))(dirfd, path, flags, mode);                    \
    }
OPENAT_LIKE(openat)
OPENAT_LIKE(openat64)

int __open_2(const char* path, int flags) {
    if (writes(flags)) check(AT_FDCWD, path, "opening for writing");
    return REAL(__open_2, int (*)(const char*, int))(path, flags);
}
int __open64_2(const char* path, int flags) {
    if (writes(flags)) check(AT_FDCWD, path, "opening for writing");
    return REAL(__open64_2, int (*)(const char*, int))(path, flags);
}
int creat(const char* path, mode_t mode) {
    check(AT_FDCWD, path, "creating");
    return REAL(creat, int (*)(const char*, mode_t))(path, mode);
}
int creat64(const char* path, mode_t mode) {
    check(AT_FDCWD, path, "creating");
    return REAL(creat64, int (*)(const char*, mode_t))(path, mode);
}
FILE* fopen(const char* path, const char* mode) {
    if (writesMode(mode)) check(AT_FDCWD, path, "opening for writing");
    return REAL(fopen, FILE * (*)(const char*, const char*))(path, mode);
}
FILE* fopen64(const char* path, const char* mode) {
    if (writesMode(mode)) check(AT_FDCWD, path, "opening for writing");
    return REAL(fopen64, FILE * (*)(const char*, const char*))(path, mode);
}
FILE* freopen(const char* path, const char* mode, FILE* f) {
    if (writesMode(mode)) check(AT_FDCWD, path, "opening for writing");
    return REAL(freopen, FILE * (*)(const char*, const char*, FILE*))(path, mode, f);
}
int rename(const char* from, const char* to) {
    check(AT_FDCWD, from, "renaming");
    check(AT_FDCWD, to, "renaming to");
    return REAL(rename, int (*)(const char*, const char*))(from, to);
}
int renameat(int fromfd, const char* from, int tofd, const char* to) {
    check(fromfd, from, "renaming");
    check(tofd, to, "renaming to");
    return REAL(renameat, int (*)(int, const char*, int, const char*))(fromfd, from, tofd, to);
}
int renameat2(int fromfd, const char* from, int tofd, const char* to, unsigned int flags) {
    check(fromfd, from, "renaming");
    check(tofd, to, "renaming to");
    return REAL(renameat2, int (*)(int, const char*, int, const char*, unsigned int))(fromfd, from, tofd, to,
                                                                                      flags);
}
int unlink(const char* path) {
    check(AT_FDCWD, path, "removing");
    return REAL(unlink, int (*)(const char*))(path);
}
int unlinkat(int dirfd, const char* path, int flags) {
    check(dirfd, path, "removing");
    return REAL(unlinkat, int (*)(int, const char*, int))(dirfd, path, flags);
}
int rmdir(const char* path) {
    check(AT_FDCWD, path, "removing");
    return REAL(rmdir, int (*)(const char*))(path);
}
int mkdir(const char* path, mode_t mode) {
    check(AT_FDCWD, path, "creating the folder");
    return REAL(mkdir, int (*)(const char*, mode_t))(path, mode);
}
int mkdirat(int dirfd, const char* path, mode_t mode) {
    check(dirfd, path, "creating the folder");
    return REAL(mkdirat, int (*)(int, const char*, mode_t))(dirfd, path, mode);
}
int link(const char* from, const char* to) {
    check(AT_FDCWD, to, "linking");
    return REAL(link, int (*)(const char*, const char*))(from, to);
}
int linkat(int fromfd, const char* from, int tofd, const char* to, int flags) {
    check(tofd, to, "linking");
    return REAL(linkat, int (*)(int, const char*, int, const char*, int))(fromfd, from, tofd, to, flags);
}
int symlink(const char* target, const char* path) {
    check(AT_FDCWD, path, "linking");
    return REAL(symlink, int (*)(const char*, const char*))(target, path);
}
int symlinkat(const char* target, int dirfd, const char* path) {
    check(dirfd, path, "linking");
    return REAL(symlinkat, int (*)(const char*, int, const char*))(target, dirfd, path);
}
int truncate(const char* path, off_t length) {
    check(AT_FDCWD, path, "truncating");
    return REAL(truncate, int (*)(const char*, off_t))(path, length);
}
