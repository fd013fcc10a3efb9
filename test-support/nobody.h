// Running a built program as an unprivileged user when the tests run as root.
#pragma once

#include <string>

#include "tempdir.h"

namespace support {

// Makes the calling process (a child about to start a program) the user and
// group nobody when it is root; otherwise changes nothing. False on failure.
bool become_nobody();

// A copy of program in where that anyone may run: the build tree may be in
// a directory that nobody else can enter, such as root's home.
std::string runnable_by_all(const TempDir& where, const std::string& program);

}  // namespace support
