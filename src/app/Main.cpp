#include "app/CommandLine.h"

int main(int argc, char** argv) { return movara::RunCommandLine(argc, argv); }
