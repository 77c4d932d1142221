#include "host/files.h"
#include "setup/setup_run.h"

int main(int argc, char** argv) {
  return mergebridge::RunSetup(mergebridge::ProgramArguments(argc, argv));
}
