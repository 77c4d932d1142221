#include "bridge/entry.h"

int main(int argc, char** argv) {
  return RunEntry(argc, argv);
}
