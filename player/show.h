// show.h - the show player's main program.
//
// ShowRegisterUnits makes every unit's registrations (the frame has made
// slot 0); ShowMain runs the init procedures, the loading, the play loop and
// the shut-down, and ends the process through the exit run.
#pragma once

void ShowRegisterUnits();
[[noreturn]] void ShowMain();
