// A component that does nothing. Started with the converter's command line
// (its path and the deck) it reports a header, as a converter must.

#include <cstdio>

int main(int argc, char**) {
  if (argc == 2) std::fputs("header:x\n", stdout);
  return 0;
}
