#include "app/window_app.h"

#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "app/main_window.h"
#include "app/process_info.h"
#include "app/round_trip.h"
#include "app/settings.h"
#include "app/worker_thread.h"

namespace vyrelo::app {
namespace {

// Taken while the program's statics are set up, just after the loader is done.
const auto gLoadedAt = std::chrono::steady_clock::now();

// The start-up routine of the program. It has nothing to do.
int StartUpRoutine() { return 0; }

// For --measure-startup: reports when the window is first painted and how
// much memory it holds once idle, then ends the run.
class StartupMeter : public QObject {
 public:
  explicit StartupMeter(QWidget* window) : window_(window) { window->installEventFilter(this); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == window_ && event->type() == QEvent::Paint && !reported_) {
      reported_ = true;
      const double sinceLoad =
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - gLoadedAt)
              .count();
      std::printf(
          "shown_ms_since_process_start %.1f\nshown_ms_since_load %.1f\n"
          "rss_kb_at_show %ld\n",
          MillisecondsSinceProcessStart(), sinceLoad, ResidentKilobytes());
      std::fflush(stdout);
      QTimer::singleShot(1000, qApp, [] {
        std::printf("rss_kb_idle %ld\n", ResidentKilobytes());
        std::fflush(stdout);
        QApplication::quit();
      });
    }
    return false;
  }

 private:
  QWidget* window_;
  bool reported_ = false;
};

}  // namespace

int RunWindow(int& argc, char** argv, const CommandLine& commandLine) {
  QApplication application(argc, argv);
  RegisterSystemObjects();
  StartUpRoutine();

  WindowConfig config;
  config.listPath = LanguageListPath(commandLine);
  config.translate = ServiceTranslator(ResolveSettings(commandLine.host, commandLine.origin));
  MainWindow window(std::move(config));
  std::unique_ptr<StartupMeter> meter;
  if (commandLine.measureStartup) meter = std::make_unique<StartupMeter>(&window);
  window.show();

  return EndWindowRun(application.exec());
}

int EndWindowRun(int code) {
  if (WorkersInFlight() > 0) {
    // A request still waits for the network. Waiting would keep a closed
    // window's process alive for up to the time-outs, and tearing down the
    // program's statics under a running worker is unsafe: end here.
    std::fflush(nullptr);
    std::quick_exit(code);
  }
  return code;
}

}  // namespace vyrelo::app
