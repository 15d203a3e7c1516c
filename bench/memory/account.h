#pragma once
// The account the benchmark runs the program as: the benchmark's own, or, when
// it runs as root, an ordinary user's (the engine's sandbox is on only for
// those), with a home and runtime folder of its own and the benchmark's X
// display shared with it.
#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace zx::bench {

struct Account {
    std::string name;
    uid_t uid = 0;
    gid_t gid = 0;
    bool self = true;  // the benchmark's own account: no switch of user
};

Account OwnAccount();
// The named user, or nullopt when there is none.
std::optional<Account> UserAccount(const std::string& name);

// Makes `home` and `runtime` (fresh folders, mode 0700) belong to the account
// and, when $XAUTHORITY names a file, copies it into `home` for the account to
// read. The folders' parents must let the account through.
void PrepareFolders(const Account& account, const std::string& home, const std::string& runtime);

// The command that runs `program` as the account with a clean environment: the
// X display, `home`, `runtime`, the xcb platform, the locale and a plain
// search path, as a desktop session gives them. The command ends by replacing
// itself with the program, so its process id is the program's.
std::vector<std::string> CommandAs(const Account& account, const std::string& program, const std::string& home,
                                   const std::string& runtime);

}  // namespace zx::bench
