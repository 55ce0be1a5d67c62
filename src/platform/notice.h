// Notices for the user: the few modal message boxes of the program. Tools
// without windows print them on stderr; the desktop program installs a hook
// that shows a message box. Set the hook once at start-up, before any thread.
#pragma once

#include <string_view>

namespace qg::platform {

using NoticeHook = void (*)(std::string_view caption, std::string_view text);

// Shows a notice through the installed hook (stderr when none is installed).
void showNotice(std::string_view caption, std::string_view text);
// Installs hook (nullptr restores the stderr default). Returns the previous hook.
NoticeHook setNoticeHook(NoticeHook hook);

}  // namespace qg::platform
