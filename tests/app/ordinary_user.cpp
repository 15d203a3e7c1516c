// Runs a command as an ordinary user: as root it first becomes "nobody" (with
// no other groups); any other user stays who it is. With --no-user-namespaces
// the command runs where no user namespace can be made, as in a container that
// denies them: in a user namespace of its own whose limit of nested ones is
// zero. --stderr sends the command's standard error to a file (opened before
// the user changes). A working folder the user cannot enter is left for its
// home, a TMPDIR it cannot use for /tmp.
//
//   ordinary_user [--no-user-namespaces] [--stderr FILE] command [args...]
//
// Ends with 125 when it cannot set this up, else replaces itself with the
// command.
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "ordinary_user: %s: %s\n", what.c_str(), std::strerror(errno));
    _exit(125);
}

void Write(const std::string& path, const std::string& text) {
    std::ofstream out(path);
    out << text;
    out.close();
    if (!out) Fail("cannot write " + path);
}

void BecomeNobody() {
    const passwd* pw = getpwnam("nobody");
    if (!pw) Fail("no user nobody");
    if (setgroups(0, nullptr) != 0 || setgid(pw->pw_gid) != 0 || setuid(pw->pw_uid) != 0) Fail("cannot become nobody");
    // The change of user left /proc/self to root until the next exec; the
    // namespace's maps are written there before it.
    if (prctl(PR_SET_DUMPABLE, 1) != 0) Fail("cannot own /proc/self");
}

// Whether a child can make a user namespace now.
bool UserNamespacesWork() {
    const pid_t child = fork();
    if (child == 0) _exit(unshare(CLONE_NEWUSER) == 0 ? 0 : 1);
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void DenyUserNamespaces() {
    const uid_t uid = geteuid();
    const gid_t gid = getegid();
    if (unshare(CLONE_NEWUSER) == 0) {
        // This user mapped to itself; the capabilities in the new namespace
        // last until the exec, long enough to set its limit.
        Write("/proc/self/setgroups", "deny");
        Write("/proc/self/uid_map", std::to_string(uid) + " " + std::to_string(uid) + " 1");
        Write("/proc/self/gid_map", std::to_string(gid) + " " + std::to_string(gid) + " 1");
        Write("/proc/sys/user/max_user_namespaces", "0");
    }
    // Where none could be made in the first place, that is the case wanted.
    errno = 0;
    if (UserNamespacesWork()) Fail("user namespaces still work");
}

}  // namespace

int main(int argc, char** argv) {
    bool deny = false;
    int i = 1;
    for (; i < argc && argv[i][0] == '-'; ++i) {
        if (std::strcmp(argv[i], "--no-user-namespaces") == 0) {
            deny = true;
        } else if (std::strcmp(argv[i], "--stderr") == 0 && i + 1 < argc) {
            const int fd = open(argv[++i], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            if (fd < 0 || dup2(fd, STDERR_FILENO) < 0) Fail(std::string("cannot open ") + argv[i]);
            close(fd);
        } else {
            break;
        }
    }
    if (i >= argc) {
        std::fprintf(stderr, "usage: ordinary_user [--no-user-namespaces] [--stderr FILE] command [args...]\n");
        return 125;
    }
    if (geteuid() == 0) {
        BecomeNobody();
        // The caller's working folder may be one only its owner may enter (a
        // build inside a home folder); the command then starts in the user's
        // home, as a session starts programs, else in the root folder.
        // By its path: the folder itself, held open, may still be entered.
        char here[4096];
        if (!getcwd(here, sizeof here) || access(here, X_OK) != 0) {
            const char* home = std::getenv("HOME");
            if ((!home || chdir(home) != 0) && chdir("/") != 0) Fail("cannot enter /");
        }
        // Likewise the caller's TMPDIR: without it the user's programs use /tmp.
        const char* tmp = std::getenv("TMPDIR");
        if (tmp && access(tmp, W_OK | X_OK) != 0) unsetenv("TMPDIR");
    }
    if (deny) DenyUserNamespaces();
    execvp(argv[i], argv + i);
    Fail(std::string("cannot run ") + argv[i]);
}
