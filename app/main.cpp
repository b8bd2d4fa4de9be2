#include <cstdio>
#include <cstdlib>

#include "MorvoObjRead.h"
#include "MorvoObject.h"
#include "UnattendedCommands.h"

int main(int argc, char* argv[]) {
  EndProcessWithCommand();
  const int status = MorvoObjReadMain(argc, argv);
  // A windowless job has written and synced its files and saved its
  // settings; the load it kept goes back to the system with the process.
  if (LoadKeptToProcessEnd()) {
    std::fflush(nullptr);
    std::_Exit(status);
  }
  return status;
}
