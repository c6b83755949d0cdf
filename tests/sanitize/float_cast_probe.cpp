// Casts a double far beyond int's range to int: a build that checks float-to-integer overflow
// stops here with the sanitizer's report, one that does not prints the undefined result.
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  volatile double huge = argc > 1 ? std::atof(argv[1]) : 1e300;
  const int cast = static_cast<int>(huge);
  std::printf("cast gave %d unchecked\n", cast);
  return 0;
}
