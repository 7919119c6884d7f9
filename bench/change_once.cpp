// One whole wallpaper change as the program does it with "/once", for
// bench/whole_change: fresh settings from SETTINGS, the built-in loaders,
// the change, and a desktop whose screen is 3840x2160 and which only
// records the wallpaper it is given.
//
//   change_once SETTINGS                 the change, nothing printed
//   change_once --monitors LIST SETTINGS the same on a desktop of those
//                                        monitors, each WxH+X+Y, separated
//                                        by commas, the first primary
//   change_once --breakdown SETTINGS [N] the stages of the change one by
//                                        one, N times (default 5), with
//                                        their wall time and page faults
//
// The breakdown reads the same settings keys the change does but only
// handles a JPEG or other loadable file stretched or fitted without
// sub-pixels or sharpening, which is what the benchmark asks for.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/config_keys.h"
#include "app/config_store.h"
#include "app/one_shot.h"
#include "app/wallpaper_render.h"
#include "codecs/bmp_saver.h"
#include "codecs/image_loaders.h"
#include "codecs/loader_registry.h"
#include "codecs/opened_image.h"
#include "foundation/file_system.h"
#include "foundation/files.h"
#include "imaging/cpu_features.h"
#include "imaging/plane32.h"
#include "imaging/resample.h"
#include "imaging/resample_kernels.h"

using Orvex::PlaneRect;
using Orvex::PlaneSize;
using Orvex::SharedString;

namespace {

constexpr int32_t kScreenWidth = 3840;
constexpr int32_t kScreenHeight = 2160;

class BenchDesktop : public IDesktop {
 public:
  void SetWallpaper(const SharedString& path, const Orvex::CPlane32*) override { wallpaper = path; }
  void RemoveWallpaper() override {}
  std::optional<PlaneSize> GetScreenSize() override {
    return PlaneSize{kScreenWidth, kScreenHeight};
  }
  MonitorList GetMonitors() override {
    return monitors.empty() ? IDesktop::GetMonitors() : monitors;
  }
  void SetComposedWallpaper(const ComposedWallpaper& composed) override {
    wallpaper = composed.path;
  }
  uint32_t GetDesktopColor() override { return 0; }
  void ShowError(const SharedString& caption, const SharedString& text) override {
    std::fprintf(stderr, "%s: %s\n", Orvex::ToUtf8(caption).c_str(), Orvex::ToUtf8(text).c_str());
  }

  SharedString wallpaper;
  MonitorList monitors;
};

// "WxH+X+Y,..." as monitors, the first primary; nothing for a malformed list.
std::optional<MonitorList> ParseMonitors(const char* text) {
  MonitorList monitors;
  for (const char* at = text; *at != 0;) {
    int w = 0, h = 0, x = 0, y = 0, used = 0;
    if (std::sscanf(at, "%dx%d+%d+%d%n", &w, &h, &x, &y, &used) != 4 || w <= 0 || h <= 0) {
      return std::nullopt;
    }
    Monitor monitor;
    monitor.rect = PlaneRect{x, y, x + w, y + h};
    monitor.primary = monitors.empty();
    monitor.name = SharedString::Format(u"%d", static_cast<int>(monitors.size() + 1));
    monitors.push_back(monitor);
    at += used;
    if (*at == ',') ++at;
  }
  if (monitors.empty()) return std::nullopt;
  return monitors;
}

WallpaperCycle::StoreFactory StoreFor(const char* settings) {
  const SharedString path = Orvex::FromUtf8(settings);
  return [path] { return ConfigStore(path, path + u".lock"); };
}

// Wall time and minor page faults of one stage.
class Stage {
 public:
  explicit Stage(const char* name) : name_(name) {
    start_ = std::chrono::steady_clock::now();
    faults_ = Usage().ru_minflt;
    cpu_ = CpuMs();
  }
  ~Stage() {
    const std::chrono::duration<double, std::milli> ms = std::chrono::steady_clock::now() - start_;
    std::printf("  %-30s %8.1f ms wall %8.1f ms cpu %7ld faults\n", name_, ms.count(),
                CpuMs() - cpu_, Usage().ru_minflt - faults_);
  }

 private:
  static rusage Usage() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage;
  }
  // User and system time of all threads.
  static double CpuMs() {
    const rusage usage = Usage();
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
  }
  double cpu_;
  const char* name_;
  std::chrono::steady_clock::time_point start_;
  long faults_;
};

void Breakdown(const char* settings, int runs) {
  ConfigStore store = StoreFor(settings)();
  store.LoadWithDefaults();
  Orvex::LoaderRegistry registry;
  Orvex::RegisterBuiltinLoaders(registry);
  const std::vector<SharedString> files = Orvex::ListEntries(
      Orvex::EnsureTrailingSeparator(store.GetString(config_key::kImageDir)), -1);
  if (files.empty()) {
    std::fprintf(stderr, "no image in the folder\n");
    std::exit(1);
  }
  const SharedString save_path = store.GetString(config_key::kSaveFile);
  std::printf("level %s\n", Orvex::SimdLevelName(Orvex::ActiveSimdLevel()));
  for (int run = 0; run < runs; ++run) {
    std::printf("run %d\n", run + 1);
    const auto start = std::chrono::steady_clock::now();
    std::shared_ptr<Orvex::CFileData> data;
    {
      Stage stage("read file");
      data = std::make_shared<Orvex::CFileData>(files.front());
    }
    std::optional<Orvex::OpenedImage> opened;
    {
      Stage stage("select loader (header)");
      opened.emplace(registry, data);
    }
    const PlaneSize size = opened->Size();
    Orvex::CDib32 image;
    Orvex::CMemoryPlane32 work;
    {
      Stage stage("decode into the image plane");
      opened->Load(image);
    }
    // Placed on the screen as the change places it.
    const ScreenPlacement placed =
        PlaceOnScreen(store, size, PlaneRect{0, 0, kScreenWidth, kScreenHeight});
    const PlaneRect src = placed.src;
    const PlaneRect dst = placed.dst;
    {
      Stage stage("work plane");
      work.SetSize(PlaneSize{kScreenWidth, kScreenHeight});
    }
    {
      // The two passes apart, as ResampleLanczos runs them.
      const Orvex::PlaneBitsLock source_bits(image);
      const Orvex::PlaneBitsLock dest_bits(work);
      const int32_t w = src.right - src.left, h = src.bottom - src.top;
      const int32_t dw = dst.right - dst.left, dh = dst.bottom - dst.top;
      const Orvex::Detail::SImageView s{source_bits.Row(src.top) + 4 * ptrdiff_t{src.left},
                                        source_bits.Step(), w, h};
      const Orvex::Detail::SImageView d{dest_bits.Row(dst.top) + 4 * ptrdiff_t{dst.left},
                                        dest_bits.Step(), dw, dh};
      const bool vertical_first = Orvex::Detail::VerticalPassFirst(w, h, dw, dh);
      const Orvex::Detail::SPassKernels& kernels =
          Orvex::Detail::PassKernelsFor(Orvex::ActiveSimdLevel());
      Orvex::CMemoryPlane32 mid_plane;
      std::unique_ptr<Orvex::PlaneBitsLock> mid_bits;
      Orvex::Detail::SImageView mid{};
      {
        Stage stage("intermediate plane");
        mid_plane.SetSize(vertical_first ? PlaneSize{w, dh} : PlaneSize{dw, h});
        mid_bits = std::make_unique<Orvex::PlaneBitsLock>(mid_plane);
        mid = {mid_bits->Row(0), mid_bits->Step(), mid_plane.GetWidth(), mid_plane.GetHeight()};
      }
      std::unique_ptr<Orvex::Detail::STapPlan> first, second;
      {
        Stage stage("tap tables");
        first = std::make_unique<Orvex::Detail::STapPlan>(
            Orvex::Detail::SLanczosData(vertical_first ? h : w, vertical_first ? dh : dw));
        second = std::make_unique<Orvex::Detail::STapPlan>(
            Orvex::Detail::SLanczosData(vertical_first ? w : h, vertical_first ? dw : dh));
      }
      const auto pass = [&](bool horizontal, const Orvex::Detail::STapPlan& plan,
                            const Orvex::Detail::SImageView& in,
                            const Orvex::Detail::SImageView& out) {
        const Orvex::Detail::PassKernel kernel = horizontal ? kernels.horizontal : kernels.vertical;
        Orvex::Detail::RunRowBlocks(
            out.height, true, [&](int32_t b, int32_t e) { kernel(plan, in, out, b, e, false); });
      };
      {
        Stage stage(vertical_first ? "vertical pass (first)" : "horizontal pass (first)");
        pass(!vertical_first, *first, s, mid);
      }
      {
        Stage stage(vertical_first ? "horizontal pass (second)" : "vertical pass (second)");
        pass(vertical_first, *second, mid, d);
      }
    }
    {
      Stage stage("write bmp");
      Orvex::CBmpSaver().Save(save_path, work, PlaneRect{0, 0, kScreenWidth, kScreenHeight});
    }
    {
      // The same image again the way the change does it, decode and
      // resampling overlapped where the loader allows.
      Orvex::CMemoryPlane32 streamed;
      streamed.SetSize(PlaneSize{kScreenWidth, kScreenHeight});
      Orvex::CDib32 image2;
      Orvex::OpenedImage opened2(registry, data);
      Stage stage("overlapped decode + resample");
      opened2.LoadResampled(image2, streamed, dst, src);
    }
    const std::chrono::duration<double, std::milli> total =
        std::chrono::steady_clock::now() - start;
    std::printf("  %-34s %8.1f ms\n", "total", total.count());
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "--breakdown") == 0) {
    Breakdown(argv[2], argc >= 4 ? std::atoi(argv[3]) : 5);
    return 0;
  }
  BenchDesktop desktop;
  if (argc == 4 && std::strcmp(argv[1], "--monitors") == 0) {
    const std::optional<MonitorList> monitors = ParseMonitors(argv[2]);
    if (!monitors) {
      std::fprintf(stderr, "monitors must be WxH+X+Y,...: %s\n", argv[2]);
      return 2;
    }
    desktop.monitors = *monitors;
    argv += 2;
    argc -= 2;
  }
  // An option taken for a settings file would be written as one.
  if (argc != 2 || argv[1][0] == '-') {
    std::fprintf(stderr, "usage: %s [--breakdown | --monitors LIST] SETTINGS [RUNS]\n", argv[0]);
    return 2;
  }
  Orvex::LoaderRegistry registry;
  RunOneShot(desktop, registry, StoreFor(argv[1]));
  if (desktop.wallpaper.IsEmpty()) {
    std::fprintf(stderr, "no wallpaper was set\n");
    return 1;
  }
  return 0;
}
