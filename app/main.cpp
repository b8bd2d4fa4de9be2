#include "MorvoObjRead.h"

int main(int argc, char* argv[]) { return MorvoObjReadMain(argc, argv); }
