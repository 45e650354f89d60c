// vyrelo-standin: serves the stand-in translation service until interrupted.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

#include "standin_server.h"

namespace {

volatile std::sig_atomic_t gStop = 0;
void OnSignal(int) { gStop = 1; }

int Usage(std::FILE* out, int code) {
  std::fputs(
      "usage: vyrelo-standin [--port N] [--bind ADDRESS] [--slow-ms MS]\n"
      "  --port N      port to listen on; 0 (the default) picks a free one\n"
      "  --bind ADDR   address to listen on (default 127.0.0.1)\n"
      "  --slow-ms MS  how long the \"__slow__\" reply is held (default 3000)\n"
      "Prints the port it listens on, then serves POST /se/translate_3in1 and\n"
      "GET /__last (the last request as JSON) until interrupted.\n",
      out);
  return code;
}

bool ParseInt(const char* text, int& value) {
  char* end = nullptr;
  long v = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || v < 0 || v > 65535 * 1000L) return false;
  value = static_cast<int>(v);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int port = 0;
  int slowMs = 3000;
  std::string bind = "127.0.0.1";
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") return Usage(stdout, 0);
    if (i + 1 >= argc) return Usage(stderr, 2);
    if (arg == "--port") {
      if (!ParseInt(argv[++i], port) || port > 65535) return Usage(stderr, 2);
    } else if (arg == "--slow-ms") {
      if (!ParseInt(argv[++i], slowMs)) return Usage(stderr, 2);
    } else if (arg == "--bind") {
      bind = argv[++i];
    } else {
      return Usage(stderr, 2);
    }
  }

  vyrelo::standin::StandinServer server;
  server.SetSlowDelay(std::chrono::milliseconds(slowMs));
  int bound = server.Start(bind, port);
  if (bound < 0) {
    std::fprintf(stderr, "vyrelo-standin: cannot listen on %s:%d\n", bind.c_str(), port);
    return 1;
  }
  std::printf("%d\n", bound);
  std::fflush(stdout);

  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  while (!gStop) pause();
  server.Stop();
  return 0;
}
