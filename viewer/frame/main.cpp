// orvenna: the image viewer and editor.
#include "viewer/frame/COrvennaApp.h"

int main(int argc, char** argv) { return orvenna::COrvennaApp::Main(argc, argv); }
