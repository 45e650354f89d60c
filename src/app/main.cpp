#include <cstdio>

int main() {
  std::printf("vyrelo %s\n", VYRELO_VERSION);
  return 0;
}
