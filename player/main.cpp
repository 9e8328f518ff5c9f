// vexil2: the show program. Everything it does is in ShowMain (show.h).
#include "../frame/frame.h"
#include "show.h"

int main(int argc, char** argv) {
    FrameStart(argc, argv);
    ShowRegisterUnits();
    ShowMain();
}
