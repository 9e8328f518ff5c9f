#include "show.h"

#include "../frame/frame.h"

void ShowRegisterUnits() {}

void ShowMain() {
    RunInits();
    RunExits(0);
}
