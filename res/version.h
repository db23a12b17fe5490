// One place for the version: the code and the resource script both read it.
#pragma once

#define VEXLO_NAME "vexlo"
#define VEXLO_VERSION_TEXT "0.91b"
#define VEXLO_FILE_VERSION_TEXT "0.09.0001"
#define VEXLO_FILE_VERSION_BINARY 0, 9, 0, 1
