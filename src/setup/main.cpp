#include "host/app.h"
#include "host/files.h"
#include "setup/setup_run.h"

int main(int argc, char** argv) {
  mergebridge::RestrictLibrarySearch();
  return mergebridge::RunSetup(mergebridge::ProgramArguments(argc, argv));
}
