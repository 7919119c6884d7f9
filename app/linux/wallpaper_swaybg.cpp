#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>
#include <vector>

#include "app/desktop.h"
#include "app/linux/wallpaper_backend.h"
#include "foundation/encoding.h"
#include "foundation/exceptions.h"
#include "foundation/posix/run_command.h"
#include "foundation/posix/system_path.h"

namespace {

// How long a new swaybg gets to connect and draw before the old one goes:
// ending the old one first would leave the outputs bare for that time.
constexpr std::chrono::milliseconds kShowTime{400};

// Where the running swaybg's process id is kept between changes, which may
// come from different processes of ours; empty without a runtime folder.
std::string PidFile() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (!runtime || !*runtime) return {};
  const std::string folder = std::string(runtime) + "/pelmora";
  ::mkdir(folder.c_str(), 0700);
  return folder + "/swaybg.pid";
}

// The process id of the swaybg we started last, if it still runs as ours.
pid_t RecordedSwaybg(const std::string& pid_file) {
  std::ifstream in(pid_file);
  long pid = 0;
  if (!(in >> pid) || pid <= 1) return 0;
  // The id may have been reused since: only our own swaybg is ended.
  std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  struct stat info {};
  if (!std::getline(comm, name) || name != "swaybg" ||
      ::stat(("/proc/" + std::to_string(pid)).c_str(), &info) != 0 || info.st_uid != ::getuid()) {
    return 0;
  }
  return static_cast<pid_t>(pid);
}

// The swaybg processes this process started and has not reaped. Any
// process of ours may end one (the pid file is shared), but only this one
// can reap it. Only these ids are waited for: a wait for any child would
// take the exit status of a command that is being run meanwhile.
std::vector<pid_t>& OwnSwaybgs() {
  static std::vector<pid_t> started;
  return started;
}

// True when the child has ended and is gone now, or was never ours.
bool Reaped(pid_t pid) {
  int status = 0;
  const pid_t ended = ::waitpid(pid, &status, WNOHANG);
  return ended == pid || (ended < 0 && errno == ECHILD);
}

bool StillRunning(pid_t pid) {
  std::vector<pid_t>& own = OwnSwaybgs();
  const auto found = std::find(own.begin(), own.end(), pid);
  if (found != own.end()) {
    if (!Reaped(pid)) return true;
    own.erase(found);
    return false;
  }
  // One of an earlier process of ours is not our child; a null signal asks
  // whether it still runs.
  return ::kill(pid, 0) == 0;
}

void End(pid_t pid) {
  ::kill(pid, SIGTERM);
  for (int i = 0; i < 50 && StillRunning(pid); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

// Other wlroots compositors: swaybg draws the background as a layer of its
// own for as long as it runs.
class SwaybgWallpaper : public WallpaperBackend {
 public:
  void Show(const std::string& file, const Orvex::CPlane32*) override {
    Replace({"swaybg", "-o", "*", "-i", file, "-m", "stretch"});
  }
  void Remove() override { Replace({"swaybg", "-o", "*", "-c", "#000000"}); }
  bool WantsMonitorFiles() const override { return true; }
  // One swaybg draws every output: each named output its own file.
  void ShowComposed(const std::string& file, const ComposedWallpaper& wallpaper) override {
    std::vector<std::string> argv = {"swaybg"};
    for (const MonitorWallpaper& monitor : wallpaper.monitors) {
      if (monitor.path.IsEmpty() || monitor.monitor.name.IsEmpty()) continue;
      for (const std::string& word :
           {std::string("-o"), Orvex::GetDefaultEncoding().ToMultiByte(monitor.monitor.name),
            std::string("-i"), Orvex::Detail::ToSystemPath(monitor.path), std::string("-m"),
            std::string("fill")}) {
        argv.push_back(word);
      }
    }
    if (argv.size() == 1) {
      Show(file, wallpaper.pixels);
      return;
    }
    Replace(argv);
  }

 private:
  static void Replace(const std::vector<std::string>& argv) {
    // An ended one of ours is reaped first, so that its id, free for reuse
    // from then on, is not taken for the swaybg to end.
    ReapEndedSwaybg();
    const std::string pid_file = PidFile();
    const pid_t old = pid_file.empty() ? 0 : RecordedSwaybg(pid_file);
    const pid_t started = Orvex::StartDetached(argv);
    OwnSwaybgs().push_back(started);
    std::this_thread::sleep_for(kShowTime);
    if (!StillRunning(started)) {
      throw Orvex::RuntimeException(
          u"壁紙の設定に失敗 : swaybg がすぐに終了しました (画像を読めないか Wayland "
          u"に接続できません)");
    }
    if (!pid_file.empty()) {
      const std::string staging = pid_file + ".new";
      std::ofstream(staging) << started << '\n';
      std::rename(staging.c_str(), pid_file.c_str());
    }
    if (old != 0 && old != started) End(old);
  }
};

}  // namespace

void ReapEndedSwaybg() { std::erase_if(OwnSwaybgs(), Reaped); }

std::unique_ptr<WallpaperBackend> MakeSwaybgWallpaper() {
  return std::make_unique<SwaybgWallpaper>();
}
