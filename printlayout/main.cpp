#include "printlayout/gui/frame/TessalyApp.h"

int main(int argc, char** argv) { return tessaly::RunTessaly(argc, argv); }
