#include "account.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace zx::bench {
namespace {

Account FromEntry(const passwd& pw, bool self) {
    return Account{pw.pw_name, pw.pw_uid, pw.pw_gid, self};
}

std::string Env(const char* name, const std::string& otherwise) {
    const char* value = std::getenv(name);
    return value && *value ? value : otherwise;
}

}  // namespace

Account OwnAccount() {
    const passwd* pw = getpwuid(geteuid());
    if (!pw) return Account{std::to_string(geteuid()), geteuid(), getegid(), true};
    return FromEntry(*pw, true);
}

std::optional<Account> UserAccount(const std::string& name) {
    const passwd* pw = getpwnam(name.c_str());
    if (!pw) return std::nullopt;
    return FromEntry(*pw, pw->pw_uid == geteuid());
}

void PrepareFolders(const Account& account, const std::string& home, const std::string& runtime) {
    namespace fs = std::filesystem;
    for (const std::string& folder : {home, runtime}) {
        fs::create_directory(folder);
        fs::permissions(folder, fs::perms::owner_all);
        if (!account.self && chown(folder.c_str(), account.uid, account.gid) != 0)
            throw std::runtime_error("cannot give " + folder + " to " + account.name);
    }
    const std::string xauthority = Env("XAUTHORITY", "");
    if (xauthority.empty() || !fs::is_regular_file(xauthority)) return;
    const std::string copy = home + "/.Xauthority";
    fs::copy_file(xauthority, copy, fs::copy_options::overwrite_existing);
    if (!account.self && chown(copy.c_str(), account.uid, account.gid) != 0)
        throw std::runtime_error("cannot give " + copy + " to " + account.name);
}

std::vector<std::string> CommandAs(const Account& account, const std::string& program, const std::string& home,
                                   const std::string& runtime) {
    std::vector<std::string> argv;
    if (!account.self) {
        argv = {"setpriv", "--reuid=" + std::to_string(account.uid), "--regid=" + std::to_string(account.gid),
                "--init-groups", "--"};
    }
    argv.insert(argv.end(),
                {"env", "-i", "DISPLAY=" + Env("DISPLAY", ":0"), "HOME=" + home, "XDG_RUNTIME_DIR=" + runtime,
                 "USER=" + account.name, "LOGNAME=" + account.name, "PATH=/usr/local/bin:/usr/bin:/bin",
                 "LANG=" + Env("LANG", "C.UTF-8"), "QT_QPA_PLATFORM=xcb"});
    // Engine switches and allocator tunables to try, passed on as they are.
    for (const char* name : {"QTWEBENGINE_CHROMIUM_FLAGS", "GLIBC_TUNABLES"})
        if (const std::string value = Env(name, ""); !value.empty()) argv.push_back(name + ("=" + value));
    if (std::filesystem::exists(home + "/.Xauthority")) argv.push_back("XAUTHORITY=" + home + "/.Xauthority");
    argv.push_back(program);
    return argv;
}

}  // namespace zx::bench
