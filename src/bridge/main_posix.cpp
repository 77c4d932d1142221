#include "bridge/entry.h"

int main(int argc, char** argv) {
  return mergebridge::RunEntry(argc, argv);
}
