// Opening a listed file with the application the desktop associates with
// its type, and the German texts of what can go wrong.
//
// The result of an opening is a code in the numbering the texts are chosen
// by: above 32 the file was handed over, 0 to 32 a failure (31: no
// application for the type, 2: file not found, ...).
//
// The opener runs the desktop's open command (xdg-open) directly through
// posix_spawnp, with the path's bytes as its one argument: no shell, no
// re-encoding. It waits for the command's exit for a bounded time only;
// a command still running then counts as handed over (it may wait for the
// application it started) and is reaped by a helper thread when it ends,
// so no zombie stays and the caller never waits for an application to
// close.
//
// Called from the window's thread; the functions keep no state of their
// own beyond the reaper threads.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace trawlix {

// The code of an opening that worked.
inline constexpr int kOpenSucceeded = 42;

// True when the path names an existing entry that is not a folder (a
// symbolic link counts as the entry it is, whatever it points to); the
// time stamps do not matter.
bool ListedFileExists(const std::string& path);

// The error text for a failure code 0 to 32: path is the full path, folder
// the path up to and including its last "/". Empty for codes above 32.
std::string OpenErrorText(int code, std::string_view path, std::string_view folder);

// True when the path is longer than the system takes in one piece: no
// application can be handed it to open.
bool PathTooLongToOpen(std::string_view path);

// The text shown then: name is the file's name, lengthText the path's
// length in bytes as it is to be shown.
std::string PathTooLongText(std::string_view name, std::string_view lengthText);

// The text shown when no file exists at the path.
std::string ProgramNotFoundText(std::string_view path);

struct TOpenerSettings {
  // The command, looked up in PATH.
  std::string program = "xdg-open";
  // How long to wait for its exit before counting it as handed over.
  int waitMilliseconds = 3000;
  // The environment of the command; empty: the program's own.
  std::vector<std::string> environment;
};

// Maps the exit status of the open command onto a code: 0 succeeded;
// 2 (file missing) gives 2; 3 (no method for the type) and 4 (the action
// failed) give 31; any other status, or an end by a signal, gives 1.
int OpenCodeFromExit(int waitStatus);

// Runs the open command on the path and returns the code of the result. A
// command that cannot be started gives 31, as no application could be
// found for the file.
int OpenWithDefaultApplication(const std::string& path, const TOpenerSettings& settings = {});

}  // namespace trawlix
