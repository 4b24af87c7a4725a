#include "results/OpenFile.h"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <chrono>
#include <thread>

extern char** environ;

namespace trawlix {

bool ListedFileExists(const std::string& path) {
  struct stat st;
  if (path.empty() || ::lstat(path.c_str(), &st) != 0) return false;
  return !S_ISDIR(st.st_mode);
}

bool PathTooLongToOpen(std::string_view path) { return path.size() >= PATH_MAX; }

std::string PathTooLongText(std::string_view name, std::string_view lengthText) {
  std::string text = "Die Datei \"";
  text.append(name);
  text += "\" kann nicht mit einer Anwendung geöffnet werden: ihr Pfad ist ";
  text.append(lengthText);
  text += " Bytes lang, länger als das System einer Anwendung übergeben kann.";
  return text;
}

std::string ProgramNotFoundText(std::string_view path) {
  std::string text = "Programm \"";
  text.append(path);
  text += "\" nicht gefunden.";
  return text;
}

std::string OpenErrorText(int code, std::string_view path, std::string_view folder) {
  auto around = [](const char* before, std::string_view value, const char* after) {
    std::string text = before;
    text.append(value);
    text += after;
    return text;
  };
  switch (code) {
    case 0:
      return "Zuwenig Speicher, ausführbare Datei war zerstört, Relokationswerte waren ungültig";
    case 2:
      return around("Die Datei \"", path, "\" wurde nicht gefunden.");
    case 3:
      return around("Das Verzeichnis \"", folder, "\" wurde nicht gefunden.");
    case 5:
      return "Fehler beim gemeinsamen Zugriff auf eine Datei im Netz oder Fehler beim Zugriff auf "
             "eine "
             "gesperrte Datei im Netz.";
    case 6:
      return "Bibliothek forderte separate Datensegmente für jede Task an.";
    case 8:
      return around("Zuwenig Speicher, um die Anwendung \"", path, "\" zu starten.");
    case 10:
      return "Falsche Windows-Version.";
    case 11:
      return around("Ungültige ausführbare Datei \"", path,
                    "\". Entweder keine Windows-Anwendung oder Fehler in der EXE-Datei.");
    case 12:
      return "Anwendung für ein anderes Betriebssystem.";
    case 13:
      return "Anwendung für MS-DOS 4.0.";
    case 14:
      return around("Typ der ausführbaren Datei \"", path, "\" unbekannt.");
    case 15:
      return "Versuch, eine Real-Mode-Anwendung (für eine frühere Windows-Version) zu laden.";
    case 16:
      return "Versuch, eine zweite Instanz einer ausführbaren Datei mit mehreren Datensegmenten, "
             "die nicht "
             "als nur lesbar gekennzeichnet waren, zu laden.";
    case 19:
      return "Versuch, eine komprimierte ausführbare Datei zu laden. Die Datei muß dekomprimiert "
             "werden, "
             "bevor sie geladen werden kann.";
    case 20:
      return "Ungültige dynamische Linkbibliothek (DLL). Eine der DLLs, die benötigt wurde, um die "
             "Anwendung auszuführen, war beschädigt.";
    case 21:
      return around("Die Anwendung \"", path, "\" benötigt Windows-32-Bit-Erweiterungen.");
    case 31:
      return around("Die Datei \"", path, "\" ist nicht mit einer Anwendung verknüpft.");
    default:
      break;
  }
  if (code < 0 || code > 32) return {};
  return "Nicht näher spezifizierter Fehler " + std::to_string(code);
}

int OpenCodeFromExit(int waitStatus) {
  if (!WIFEXITED(waitStatus)) return 1;
  switch (WEXITSTATUS(waitStatus)) {
    case 0:
      return kOpenSucceeded;
    case 2:
      return 2;
    case 3:
    case 4:
      return 31;
    default:
      return 1;
  }
}

namespace {

// Owns a posix_spawnattr_t.
class TSpawnAttr {
 public:
  TSpawnAttr() {
    ok_ = posix_spawnattr_init(&attr_) == 0;
    if (!ok_) return;
    // The command starts with no blocked signals and with SIGPIPE at its
    // default, whatever this program's threads did with them. It gets a
    // session of its own, so a terminal's Ctrl+C for this program leaves the
    // application it started alone.
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigmask(&attr_, &none);
    posix_spawnattr_setsigdefault(&attr_, &defaults);
    posix_spawnattr_setflags(&attr_,
                             POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID);
  }
  ~TSpawnAttr() {
    if (ok_) posix_spawnattr_destroy(&attr_);
  }
  TSpawnAttr(const TSpawnAttr&) = delete;
  TSpawnAttr& operator=(const TSpawnAttr&) = delete;
  const posix_spawnattr_t* Get() const { return ok_ ? &attr_ : nullptr; }

 private:
  posix_spawnattr_t attr_;
  bool ok_ = false;
};

// Waits for the child in the background and lets it go; the command may
// run as long as the application it started.
void ReapLater(pid_t pid) {
  try {
    std::thread([pid] {
      int status;
      while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
    }).detach();
  } catch (...) {
    // No thread to spare: the child stays unreaped until this program ends.
  }
}

}  // namespace

int OpenWithDefaultApplication(const std::string& path, const TOpenerSettings& settings) {
  // Stored paths are absolute; a path that is not must still never read as
  // an option of the command.
  std::string arg = path;
  if (!arg.empty() && arg[0] == '-') arg.insert(0, "./");
  std::string program = settings.program;
  char* argv[] = {program.data(), arg.data(), nullptr};

  std::vector<std::string> envCopy = settings.environment;
  std::vector<char*> envp;
  char** env = environ;
  if (!envCopy.empty()) {
    for (std::string& e : envCopy) envp.push_back(e.data());
    envp.push_back(nullptr);
    env = envp.data();
  }

  TSpawnAttr attr;
  pid_t pid = -1;
  if (posix_spawnp(&pid, program.c_str(), nullptr, attr.Get(), argv, env) != 0) return 31;

  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(settings.waitMilliseconds);
  auto pause = std::chrono::milliseconds(1);
  for (;;) {
    int status = 0;
    const pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid) return OpenCodeFromExit(status);
    if (r < 0 && errno != EINTR) return kOpenSucceeded;  // reaped elsewhere; nothing to report
    if (Clock::now() >= deadline) break;
    std::this_thread::sleep_for(pause);
    if (pause < std::chrono::milliseconds(20)) pause *= 2;
  }
  ReapLater(pid);
  return kOpenSucceeded;
}

}  // namespace trawlix
