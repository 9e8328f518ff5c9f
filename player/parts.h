// parts.h - the nine show parts, put into the timeline's dispatch table.
#pragma once

void InstallShowParts();
