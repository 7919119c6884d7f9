#pragma once

#include <functional>
#include <memory>

#include "app/linux/linux_desktop.h"
#include "foundation/posix/resident_instance.h"
#include "foundation/shared_string.h"

// The resident tray program, run once this process holds the resident
// lock: the desktop made for the start, its backend setting and the lock.
// Returns the exit code.
using TrayEntry = std::function<int(int argc, char* argv[], std::unique_ptr<LinuxDesktop> desktop,
                                    const Orvex::SharedString& backend_setting,
                                    std::unique_ptr<ResidentInstance> instance)>;

// Everything a start of the program does up to the tray: "--version", the
// switches of the command line, a second start's message, "/once", and the
// resident lock, then `tray`. Errors are shown and end the start with 1.
//
// With hand_on_plain_start, a start without switches only takes the lock
// to learn whether it is the first; the first hands on to the tray program
// (pelmora-tray, installed as a private program of the package), a later
// one tells the resident program. So the starts that do not stay never
// load the toolkit, whose libraries take tens of milliseconds to load.
int StartProgram(int argc, char* argv[], const TrayEntry& tray, bool hand_on_plain_start);

// In the tray program, first of all: becomes the program that started it
// (its settings, lock and folder) when pelmora handed a start on to it.
void TakeOverFromStarter();
