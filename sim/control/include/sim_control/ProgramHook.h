#pragma once

// How a program on a simulated platform gets the simulated world that the
// run command asks for.  The platform's program glue calls
// startWithProgram(); the environment decides what happens:
//
//   ULK_SIM_CONTROL=1        opens the "Simulated controllers" window
//   ULK_SIM_PLUG=QM-KM3300   plugs that controller in, in update mode, a
//                            moment after the program's window shows
//                            (QM-KM3800 likewise)
//   ULK_SIM_OPEN=<file>      hands the file to the program once its window
//                            shows, as a Mac hands over a document to open
//                            (JUCE's anotherInstanceStarted)
//   ULK_SIM_LOG=<file>       appends a line to the file for every step the
//                            controllers take (the window shown, plugged,
//                            caps poll answered, image taken, rebooted...)
//
// With any of them set the bus is paced like a USB full-speed endpoint, and
// the lines also go to standard output.  With none, nothing happens.

namespace simctl
{
/** Call on the JUCE message thread once the program has begun building
    itself; calls after the first do nothing. */
void startWithProgram();
} // namespace simctl
