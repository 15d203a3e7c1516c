#pragma once
// The session's log-out query. The program may talk to the user during a
// log-out only with the session manager's permission, asked for first; with
// it, the bar's close confirmation is put, and its Cancel refuses the
// log-out. Without it the program neither asks nor holds the log-out up.
#include <functional>

namespace zx {

// `Manager` is the toolkit's session manager or a test's stand-in:
// allowsInteraction() and cancel(). `closeQuery` asks the close confirmation
// and returns whether the program may close.
template <class Manager>
void AnswerLogoutQuery(Manager& manager, const std::function<bool()>& closeQuery) {
    if (!manager.allowsInteraction()) return;
    // The interaction ends when the toolkit reports the answer, together with
    // a refusal: releasing it here would report "go on" before the cancel.
    if (!closeQuery()) manager.cancel();
}

}  // namespace zx
